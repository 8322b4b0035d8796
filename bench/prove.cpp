// Deciding pairs of textbook queries over the sailors, boats and reserves
// tables: joins of three to eight table occurrences written two ways, with
// a few comparisons, proved or shown to differ; a difference of two joins;
// comparisons that only integers' discreteness makes equal.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/loader.h"
#include "engine/parser.h"
#include "prove/decide.h"

namespace {

const char* const kTables =
    "sailors(sid int, sname text, rating int, age int)\n"
    "22, 'Dustin', 7, 45\n"
    "\n"
    "boats(bid int, bname text, color text)\n"
    "101, 'Interlake', 'blue'\n"
    "\n"
    "reserves(sid int, bid int, day text)\n"
    "22, 101, '1998-10-10'\n";

// Reserves, sailors and boats renamed apart: occurrence k of each.
std::string reserves(int k) {
  const std::string n = std::to_string(k);
  return "rename(reserves,r" + n + "(rs" + n + ",rb" + n + ",day" + n + "))";
}
std::string sailors(int k) {
  const std::string n = std::to_string(k);
  return "rename(sailors,s" + n + "(sid" + n + ",sname" + n + ",rating" + n + ",age" + n + "))";
}
std::string boats(int k) {
  const std::string n = std::to_string(k);
  return "rename(boats,b" + n + "(bid" + n + ",bname" + n + ",color" + n + "))";
}
std::string product(const std::string& a, const std::string& b) { return "product(" + a + "," + b + ")"; }
std::string both(const std::string& a, const std::string& b) { return "AND(" + a + "," + b + ")"; }
std::string select(const std::string& e, const std::string& c) { return "select(" + e + "," + c + ")"; }

struct pair_text {
  std::string first, second;
};

// Sailors who reserved a red boat: one product and one selection, or the
// selections pushed down and the join order changed.
pair_text red_boats() {
  const std::string all = product(product(sailors(1), reserves(1)), boats(1));
  const std::string cond = both(both("EQ(sid1,rs1)", "EQ(rb1,bid1)"), "EQ(color1,'red')");
  return {"project(" + select(all, cond) + ",sname1)",
          "project(" + select(product(select(product(reserves(1), select(boats(1), "EQ(color1,'red')")), "EQ(bid1,rb1)"),
                                      sailors(1)),
                               "EQ(rs1,sid1)") +
              ",sname1)"};
}

// Eight occurrences: two sailors, each with two reservations of boats
// (four reserves and two boats), the first sailor rated above 7, older than
// the second, the two boats different. `change` alters one comparison.
pair_text eight(bool change) {
  const std::string joins = both(both(both("EQ(sid1,rs1)", "EQ(sid1,rs2)"), both("EQ(sid2,rs3)", "EQ(sid2,rs4)")),
                                 both(both("EQ(rb1,bid1)", "EQ(rb3,bid1)"), both("EQ(rb2,bid2)", "EQ(rb4,bid2)")));
  const std::string comps = both(both("GT(rating1,7)", "GT(age1,age2)"), "NEQ(bid1,bid2)");
  const std::string all = product(product(product(sailors(1), sailors(2)), product(reserves(1), reserves(2))),
                                  product(product(reserves(3), reserves(4)), product(boats(1), boats(2))));
  const std::string first = "project(" + select(all, both(joins, comps)) + ",sname1,sname2)";
  const std::string comps2 = both(both(change ? "GTE(rating1,7)" : "GTE(rating1,8)", "LT(age2,age1)"),
                                  "OR(LT(bid1,bid2),GT(bid1,bid2))");
  const std::string all2 = product(product(boats(2), product(reserves(4), reserves(3))),
                                   product(product(reserves(2), boats(1)), product(reserves(1), product(sailors(2), sailors(1)))));
  const std::string second = "project(" + select(select(all2, comps2), joins) + ",sname1,sname2)";
  return {first, second};
}

// Sailors who reserved no red boat, the subtracted join written two ways.
pair_text no_red_boat() {
  const std::string red = both("EQ(rb1,bid1)", "EQ(color1,'red')");
  return {"minus(project(sailors,sid),rename(project(" + select(product(reserves(1), boats(1)), red) + ",rs1),x(sid)))",
          "minus(project(sailors,sid),project(rename(project(" +
              select(product(select(boats(1), "EQ(color1,'red')"), reserves(1)), "EQ(bid1,rb1)") +
              ",rs1),x(sid)),sid))"};
}

// Ratings above 7 and ages below 30, as strict and as non-strict bounds.
pair_text discrete() {
  return {"select(sailors,AND(GT(rating,7),LT(age,30)))", "select(sailors,AND(LTE(age,29),GTE(rating,8)))"};
}

void decide_pair(benchmark::State& state, const pair_text& p, prove::verdict want) {
  table_map tables;
  load_tables(std::string("q\n") + kTables, tables, false);
  const plan a = parse_query(p.first, tables);
  const plan b = parse_query(p.second, tables);
  prove::decision d;
  for (auto _ : state) {
    d = prove::decide(a, b);
    benchmark::DoNotOptimize(d);
  }
  if (d.result != want) state.SkipWithError(("unexpected verdict: " + d.reason).c_str());
  state.counters["preorders"] = static_cast<double>(d.preorders);
  state.counters["cases"] = static_cast<double>(d.cases);
}

void BM_ProveRedBoats(benchmark::State& s) { decide_pair(s, red_boats(), prove::verdict::proved); }
void BM_ProveEightOccurrences(benchmark::State& s) { decide_pair(s, eight(false), prove::verdict::proved); }
void BM_DifferEightOccurrences(benchmark::State& s) { decide_pair(s, eight(true), prove::verdict::differs); }
void BM_ProveNoRedBoat(benchmark::State& s) { decide_pair(s, no_red_boat(), prove::verdict::proved); }
void BM_ProveDiscreteBounds(benchmark::State& s) { decide_pair(s, discrete(), prove::verdict::proved); }

BENCHMARK(BM_ProveRedBoats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProveEightOccurrences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DifferEightOccurrences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProveNoRedBoat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProveDiscreteBounds)->Unit(benchmark::kMillisecond);

}  // namespace
