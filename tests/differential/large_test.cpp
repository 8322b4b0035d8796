// The program against the reference on inputs large enough for each path
// that only size opens: printing in chunks on two threads, tables parsed in
// pieces, hashing and sorting on two threads (65,536 rows and more), hash
// tables that grow well past their first size or see few distinct rows,
// sort keys whose first 24 encoded bytes tie, NUL and high bytes where they
// decide the order, merges of a few rows into many by binary search (which
// must keep the left operand's row of two equal ones), select over
// product, projection onto a few repeated values.
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare.h"
#include "engine/loader.h"
#include "engine/pipeline.h"
#include "reference.h"

namespace {

using S = std::string;
using rng_t = std::mt19937_64;

struct built {
  S input;
  std::size_t min_rows;  // the result must hold this many rows at least
};

struct large_case {
  const char* name;
  std::function<built(rng_t&)> build;
};

// Sanitizer builds shrink what is only bulk, never below a threshold.
std::size_t scaled(std::size_t n, std::size_t floor) {
  return diff::kSanitized ? std::max(floor, n / 3) : n;
}

// The parts joined; a braced list evaluates them in order, so draws from
// the generator happen in the same order on every compiler.
S cat(std::initializer_list<S> parts) {
  S out;
  for (const S& p : parts) out += p;
  return out;
}

S str(int n) { return std::to_string(n); }

int num(rng_t& r, int lo, int hi) { return lo + static_cast<int>(r() % static_cast<uint64_t>(hi - lo + 1)); }

S word(rng_t& r, std::size_t n) {
  S w;
  for (std::size_t i = 0; i < n; ++i) w += static_cast<char>('a' + r() % 26);
  return w;
}

// A block: the header line, then the row lines.
S block(const S& header, const std::vector<S>& rows) {
  S out = header;
  out += '\n';
  for (const S& r : rows) out.append(r).append("\n");
  return out;
}

S input_of(const S& query, const std::vector<S>& blocks) {
  S out = query;
  out += '\n';
  for (const S& b : blocks) out.append(b).append("\n");
  return out;
}

// Rows of (int, text) from wide ranges: nearly all distinct.
std::vector<S> distinct_rows(rng_t& r, std::size_t n) {
  std::vector<S> rows;
  for (std::size_t i = 0; i < n; ++i) {
    rows.push_back(cat({str(num(r, -1000000, 1000000)), ", 'v", str(num(r, 0, 999999)), " x'"}));
  }
  return rows;
}

// R(a int, b text) rows and S(b text, a text) rows that overlap: S's row
// 'wK' has the empty text in a, equal to R's row 0, 'wK'; so the two
// projections onto (a, b) hold equal rows that print differently.
std::vector<S> int_side(rng_t& r, std::size_t n, int keys) {
  std::vector<S> rows;
  for (std::size_t i = 0; i < n; ++i) {
    const int a = r() % 3 == 0 ? 0 : num(r, -50, 50);
    rows.push_back(cat({str(a), ", 'w", str(num(r, 0, keys)), "'"}));
  }
  return rows;
}
std::vector<S> text_side(rng_t& r, std::size_t n, int keys) {
  std::vector<S> rows;
  for (std::size_t i = 0; i < n; ++i) {
    const S b = cat({"'w", str(num(r, 0, keys)), "'"});
    rows.push_back(r() % 2 == 0 ? b : cat({b, " ", str(num(r, -50, 50))}));
  }
  return rows;
}

built lopsided(rng_t& r, const S& query, std::size_t many, std::size_t few) {
  const int keys = static_cast<int>(many / 40);
  return {input_of(query, {block("R(a int, b text)", int_side(r, many, keys)),
                           block("T(b text, a text)", text_side(r, few, keys))}),
          few};
}

// Texts whose order NUL and high bytes decide, in the first bytes of the
// sort encoding, before a second cell.
S odd_text(rng_t& r) {
  static const std::vector<S> v = {"p",      S("p\0", 2),      S("p\0\x01", 3), S("p\0\0", 3),
                                   "p\x01",  "p\x7f",          "p\x80",         "p\xff",
                                   S("p\xff\0", 3), S("\0", 1), S("\0\0", 2),   "\x80",
                                   "\xff",   S("'p\0'", 4),    "pq",            S("0123456789abcdefghi\0z", 21)};
  return v[r() % v.size()];
}

// A query over a several-megabyte table R(a int, b text, c text): rows
// with blank-only lines and CR bytes among them, an earlier R replaced, the
// last line without "\n".
built several_megabytes(rng_t& r, const S& query) {
  std::vector<S> rows;
  const std::size_t n = scaled(120000, 70000);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 997 == 5) {
      rows.push_back("   ");
      continue;
    }
    S line = cat({str(num(r, -99999, 99999)), ", 'v ", word(r, 6), ", y', ", odd_text(r)});
    if (i % 13 == 0) line += "\r";
    rows.push_back(line);
  }
  S in = input_of(query, {block("R(z int)", {"1", "2"}), block("S(a int)", {"5"}),
                          block("R(a int, b text, c text)", rows)});
  in.pop_back();
  in.pop_back();
  return built{in, n};
}

const std::vector<large_case> kCases = {
    // Printed straight from the row lines, in pieces.
    {"ScanOfASeveralMegabyteTable", [](rng_t& r) { return several_megabytes(r, "R"); }},
    // Parsed in pieces, on two threads, and printed in row order.
    {"RenameKeepsTheRowsOfATableParsedInPieces",
     [](rng_t& r) { return several_megabytes(r, "rename(R,X(a,b,c))"); }},
    {"SelectKeepsOrderAndRepeats",
     [](rng_t& r) {
       std::vector<S> rows;
       const std::size_t n = 90000;
       for (std::size_t i = 0; i < n; ++i) {
         rows.push_back(i % 4 == 0 && i > 0 ? rows[i - 1] : cat({str(num(r, -9, 9)), " '", word(r, 3), "'"}));
       }
       return built{input_of("select(R,OR(GTE(a,-5),EQ(b,'abc')))", {block("R(a int, b text)", rows)}),
                    65536};
     }},
    {"UnionOfManyDistinctRows",
     [](rng_t& r) {
       std::vector<S> a = distinct_rows(r, 80000);
       std::vector<S> b = distinct_rows(r, 50000);
       for (std::size_t i = 0; i < 20000; ++i) b.push_back(a[r() % a.size()]);
       return built{input_of("union(R,S)", {block("R(a int, b text)", a), block("S(a int, b text)", b)}),
                    100000};
     }},
    {"UnionBelowTheThreadThresholdGrowsItsHashTable",
     [](rng_t& r) {
       // 30,000 distinct rows, each given twice: the table starts small and
       // grows several times before the repeats arrive.
       std::vector<S> a = distinct_rows(r, 30000);
       std::vector<S> b = a;
       std::shuffle(b.begin(), b.end(), r);
       return built{input_of("union(R,S)", {block("R(a int, b text)", a), block("S(a int, b text)", b)}),
                    29000};
     }},
    {"ProjectionWithRepeatsAfterGrowth",
     [](rng_t& r) {
       std::vector<S> rows;
       for (int i = 0; i < 50000; ++i) rows.push_back(cat({str(i % 25000), " ", word(r, 4)}));
       return built{input_of("project(R,a)", {block("R(a int, b text)", rows)}), 25000};
     }},
    {"HeavyRepeatsOfMixedKinds",
     [](rng_t& r) {
       // Few distinct rows among many; the integer 0 meets the empty text.
       std::vector<S> a;
       std::vector<S> b;
       for (int i = 0; i < 100000; ++i) a.push_back(cat({str(num(r, -1, 2)), " 'k'"}));
       for (int i = 0; i < 40000; ++i) b.push_back(r() % 2 ? "'k'" : "'k' 1");
       const S q = "union(minus(union(R,project(T,a,b)),project(select(R,EQ(a,2)),a,b)),project(T,a,b))";
       return built{input_of(q, {block("R(a int, b text)", a), block("T(b text, a text)", b)}), 3};
     }},
    {"ProjectionOntoFewValues",
     [](rng_t& r) {
       std::vector<S> rows;
       const std::size_t n = scaled(120000, 70000);
       for (std::size_t i = 0; i < n; ++i) {
         rows.push_back(cat({str(num(r, 0, 9)), ", ", str(num(r, 0, 999999)), ", 'c", str(num(r, 0, 19)), "'"}));
       }
       return built{input_of("union(project(R,c,a),project(R,b))", {block("R(a int, b int, c text)", rows)}),
                    200};
     }},
    {"LongStringKeysTieOnTheirFirst24Bytes",
     [](rng_t& r) {
       std::vector<S> rows;
       const S prefix = cat({"'", S(30, 'm')});
       for (int i = 0; i < 80000; ++i) {
         rows.push_back(cat({prefix, word(r, 1 + r() % 3), r() % 5 == 0 ? S("\0", 1) : S(), "' ",
                             str(num(r, -3, 3))}));
       }
       return built{input_of("project(R,k,v)", {block("R(k text, v int)", rows)}), 10000};
     }},
    {"FiveIntegerKeysTieOnTheirFirst24Bytes",
     [](rng_t& r) {
       std::vector<S> rows;
       for (int i = 0; i < 80000; ++i) {
         rows.push_back(cat({str(num(r, 0, 1)), " ", str(num(r, 0, 1)), " ", str(num(r, 0, 1)), " ",
                             str(num(r, 0, 1)), " ", str(num(r, -300, 300))}));
       }
       return built{input_of("union(R,R)", {block("R(a int, b int, c int, d int, e int)", rows)}), 9000};
     }},
    {"NulAndHighBytesDecideTheOrder",
     [](rng_t& r) {
       std::vector<S> big;
       std::vector<S> small;
       // Distinct rows by n, ordered by k and v first.
       for (int i = 0; i < 80000; ++i) big.push_back(cat({odd_text(r), " ", odd_text(r), " ", str(i)}));
       for (int i = 0; i < 3000; ++i) small.push_back(cat({odd_text(r), " ", odd_text(r)}));
       const S q = "union(project(R,k,v,n),product(rename(project(S,k,v),P(k2,v2)),project(select(R,LT(n,3)),n)))";
       return built{input_of(q, {block("R(k text, v text, n int)", big), block("S(k text, v text)", small)}),
                    65536};
     }},
    {"UnionMergesAFewRowsIntoManyKeepingTheLeftOnes",
     [](rng_t& r) { return lopsided(r, "union(project(R,a,b),project(T,a,b))", 90000, 400); }},
    {"UnionMergesManyRowsIntoAFewKeepingTheLeftOnes",
     [](rng_t& r) { return lopsided(r, "union(project(T,a,b),project(R,a,b))", 90000, 400); }},
    {"UnionMergesBelowTheThreadThreshold",
     [](rng_t& r) {
       return lopsided(r, "union(union(project(T,a,b),project(R,a,b)),union(project(R,a,b),project(T,a,b)))",
                       20000, 150);
     }},
    {"UnionOfSortedAndUnsortedOperands",
     [](rng_t& r) { return lopsided(r, "union(union(R,project(T,a,b)),union(project(T,a,b),R))", 70000, 300); }},
    {"UnionOfSortedOperandsOfLikeSize",
     [](rng_t& r) { return lopsided(r, "union(project(T,a,b),project(R,a,b))", 70000, 60000); }},
    {"MinusOfLopsidedOperands",
     [](rng_t& r) {
       return lopsided(r, "union(minus(project(R,a,b),project(T,a,b)),minus(project(T,b,a),project(R,b,a)))",
                       70000, 400);
     }},
    {"MinusOfLargeOperandsWithRepeats",
     [](rng_t& r) {
       std::vector<S> a;
       std::vector<S> b;
       for (int i = 0; i < 120000; ++i) a.push_back(cat({str(num(r, -30000, 30000)), " ", word(r, 1)}));
       for (int i = 0; i < 80000; ++i) b.push_back(cat({str(num(r, -30000, 30000)), " ", word(r, 1)}));
       return built{input_of("minus(R,S)", {block("R(a int, b text)", a), block("S(a int, b text)", b)}),
                    30000};
     }},
    {"ProductInNameOrderOverManyRows",
     [](rng_t& r) {
       std::vector<S> a;
       std::vector<S> b;
       for (int i = 0; i < 300; ++i) a.push_back(cat({str(num(r, 0, 280)), " '", word(r, 1), "'"}));
       for (int i = 0; i < 300; ++i) b.push_back(cat({"'", word(r, 2), "' ", str(num(r, -5, 5))}));
       return built{input_of("product(A,B)", {block("A(d int, b text)", a), block("B(c text, a int)", b)}),
                    65536};
     }},
    {"SelectOverProduct",
     [](rng_t& r) {
       const int n = 400;  // 160,000 combined rows
       std::vector<S> a;
       std::vector<S> b;
       for (int i = 0; i < n; ++i) a.push_back(cat({str(num(r, 0, 40)), " '", word(r, 2), "'"}));
       for (int i = 0; i < n; ++i) b.push_back(cat({str(num(r, 0, 40)), " '", word(r, 1), "'"}));
       const S q = "union(select(product(A,rename(B,B2(k2,y))),EQ(k,k2)),"
                   "project(select(product(A,rename(B,B2(k2,y))),OR(LT(k,20),EQ(y,'a'))),k,x,k2,y))";
       return built{input_of(q, {block("A(k int, x text)", a), block("B(k int, y text)", b)}), 65536};
     }},
    {"NestedOperatorsOverLargeTables",
     [](rng_t& r) {
       std::vector<S> a = distinct_rows(r, 70000);
       std::vector<S> b = distinct_rows(r, 30000);
       const S q = "project(select(union(R,rename(S,X(a,b))),OR(GT(a,0),LT(b,'v5'))),b,a)";
       return built{input_of(q, {block("R(a int, b text)", a), block("S(c int, d text)", b)}), 50000};
     }},
};

void PrintTo(const large_case& c, std::ostream* os) { *os << c.name; }

class LargeInputs : public ::testing::TestWithParam<large_case> {};

TEST_P(LargeInputs, MatchTheReference) {
  rng_t rng(20261209);
  const built b = GetParam().build(rng);
  const run_result got = run_text(b.input);
  const ref::outcome want = ref::run_text(b.input);
  ASSERT_EQ(want.status, 0) << "the input should be valid";
  EXPECT_GE(diff::result_lines(b.input, want.output), b.min_rows + 1) << "the input is too small";
  EXPECT_TRUE(diff::same_run(got.status, got.output, want.status, want.output));
}

INSTANTIATE_TEST_SUITE_P(Paths, LargeInputs, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
