// Microbenchmarks of the paths that dominate large runs: row parsing,
// sort-and-collapse, difference, product, joins, projection and selection.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <utility>

#include "engine/operators.h"
#include "engine/parser.h"
#include "engine/loader.h"
#include "engine/pipeline.h"
#include "table.h"

namespace {

std::string word(std::mt19937& rng) {
  static const char* letters = "abcdefghijklmnopqrstuvwxyz";
  std::string w = "'";
  const int n = 3 + static_cast<int>(rng() % 10);
  for (int i = 0; i < n; ++i) w += letters[rng() % 26];
  return w + "'";
}

// Row lines of R(a int, b int, c text, d text), drawn from small pools so
// that values repeat as they do in class data.
std::vector<std::string> row_lines(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> pool;
  for (int i = 0; i < 200; ++i) pool.push_back(word(rng));
  std::vector<std::string> lines;
  lines.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    lines.push_back(std::to_string(rng() % 1000) + ", " + std::to_string(static_cast<int>(rng() % 2000000) - 1000000) +
                    ", " + pool[rng() % pool.size()] + ", " + pool[rng() % pool.size()]);
  }
  return lines;
}

table make_table(std::size_t n, unsigned seed) {
  table t;
  t.def("R(a int, b int, c text, d text)");
  for (const std::string& l : row_lines(n, seed)) t.append_row(l);
  return t;
}

void BM_ParseRows(benchmark::State& state) {
  const auto lines = row_lines(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    table t;
    t.def("R(a int, b int, c text, d text)");
    for (const std::string& l : lines) t.append_row(l);
    benchmark::DoNotOptimize(t.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseRows)->Arg(100000);

void BM_Union(benchmark::State& state) {
  const table r = make_table(static_cast<std::size_t>(state.range(0)), 1);
  const table s = make_table(static_cast<std::size_t>(state.range(0)), 2);
  for (auto _ : state) {
    relation u = rel_union(relation_of(r), relation_of(s));
    benchmark::DoNotOptimize(u.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Union)->Arg(100000);

void BM_Minus(benchmark::State& state) {
  const table r = make_table(static_cast<std::size_t>(state.range(0)), 1);
  const table s = make_table(static_cast<std::size_t>(state.range(0)), 2);
  for (auto _ : state) {
    relation d = rel_minus(relation_of(r), relation_of(s));
    benchmark::DoNotOptimize(d.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Minus)->Arg(100000);

// Operands R(a int, b text) and S(c int, d text) of n rows each, keyed by
// key(i).
template <class Key>
std::pair<table, table> operands(long n, unsigned seed, Key key) {
  std::pair<table, table> t;
  t.first.def("R(a int, b text)");
  t.second.def("S(c int, d text)");
  std::mt19937 rng(seed);
  for (long i = 0; i < n; ++i) {
    t.first.append_row(std::to_string(key(i, rng)) + ", " + word(rng));
    t.second.append_row(std::to_string(key(i, rng)) + ", " + word(rng));
  }
  return t;
}

void BM_Product(benchmark::State& state) {
  const auto [r, s] = operands(state.range(0), 3, [](long i, std::mt19937&) { return i; });
  for (auto _ : state) {
    relation p = rel_product(relation_of(r), relation_of(s), eval_limits{});
    benchmark::DoNotOptimize(p.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_Product)->Arg(300);

// A join written as a selection over a product: the combined rows are
// tested as they are made.
void BM_Join(benchmark::State& state) {
  const auto [r, s] =
      operands(state.range(0), 4, [](long, std::mt19937& rng) { return rng() % 1000; });
  const plan cond = parse_condition("EQ(a,c)");
  for (auto _ : state) {
    relation j = rel_select_product(relation_of(r), relation_of(s),
                                    condition_ref{&cond.conds, cond.conditions[0].root}, eval_limits{});
    benchmark::DoNotOptimize(j.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_Join)->Arg(1000);

void BM_Project(benchmark::State& state) {
  const table r = make_table(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    relation p = rel_project(relation_of(r), {"c", "a"});
    benchmark::DoNotOptimize(p.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Project)->Arg(100000);

void BM_Select(benchmark::State& state) {
  const table r = make_table(static_cast<std::size_t>(state.range(0)), 1);
  const plan cond = parse_condition("AND(GT(a,499),NEQ(c,'abc'))");
  for (auto _ : state) {
    relation s = rel_select(relation_of(r), condition_ref{&cond.conds, cond.conditions[0].root});
    benchmark::DoNotOptimize(s.rows.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Select)->Arg(100000);

void BM_DeepQuery(benchmark::State& state) {
  std::string q;
  for (int i = 0; i < state.range(0); ++i) q += "union(R,";
  q += "R";
  q.append(static_cast<std::size_t>(state.range(0)), ')');
  const std::string input = q + "\nR(a int, b text)\n1, 'x'\n2, 'y'\n";
  for (auto _ : state) {
    run_result r = run_text(input);
    benchmark::DoNotOptimize(r.output.size());
  }
}
BENCHMARK(BM_DeepQuery)->Arg(10000);

}  // namespace
