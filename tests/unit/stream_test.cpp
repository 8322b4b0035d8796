// Queries answered straight from row lines (selections, projections, unions
// and differences of tables) against the same queries evaluated with the
// tables built: a run with warnings on never streams, so both must print
// the same bytes.
#include <climits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "engine/loader.h"
#include "engine/pipeline.h"

namespace {

std::string text_value(std::mt19937& rng, int distinct) {
  static const char* odd[] = {"''", "'a\x01b'", "", "'\xff\xfe'", "'B'", "'b'", "'ab'"};  // [2]: a NUL
  const int k = static_cast<int>(rng() % static_cast<unsigned>(distinct));
  if (k < 7 && rng() % 3 == 0) return k == 2 ? std::string("'n\0ul'", 6) : odd[k];
  return "'v" + std::to_string(k) + "'";
}

std::string int_value(std::mt19937& rng, int range) {
  switch (rng() % 20) {
    case 0: return "2147483647";
    case 1: return "-2147483648";
    case 2: return "";
    default: return std::to_string(static_cast<int>(rng() % static_cast<unsigned>(range)) - range / 2);
  }
}

// R and S with the same columns, S sharing about half of R's rows.
std::string tables(unsigned seed, std::size_t rows, const std::string& types, int distinct) {
  std::mt19937 rng(seed);
  std::string header = "(";
  for (std::size_t k = 0; k < types.size(); ++k) {
    header += (k > 0 ? ", " : "") + std::string(1, static_cast<char>('a' + k)) + (types[k] == 'i' ? " int" : " text");
  }
  header += ")\n";
  std::vector<std::string> r_rows;
  for (std::size_t i = 0; i < rows; ++i) {
    std::string line;
    for (std::size_t k = 0; k < types.size(); ++k) {
      line += (k > 0 ? ", " : "") + (types[k] == 'i' ? int_value(rng, distinct) : text_value(rng, distinct));
    }
    r_rows.push_back(line);
  }
  std::string out = "R" + header;
  for (const std::string& l : r_rows) out += l + "\n";
  out += "\nS" + header;
  for (std::size_t i = 0; i < rows; ++i) {
    if (rng() % 2 == 0) {
      out += r_rows[rng() % r_rows.size()] + "\n";
    } else {
      std::string line;
      for (std::size_t k = 0; k < types.size(); ++k) {
        line += (k > 0 ? ", " : "") + (types[k] == 'i' ? int_value(rng, distinct) : text_value(rng, distinct));
      }
      out += line + "\n";
    }
  }
  return out;
}

void expect_same_both_ways(const std::string& input) {
  run_options streamed;
  run_options built;
  built.warn = run_options::warnings::on;
  const run_result a = run_text(input, streamed);
  const run_result b = run_text(input, built);
  ASSERT_EQ(a.status, b.status) << input.substr(0, input.find('\n'));
  EXPECT_EQ(a.output, b.output) << input.substr(0, input.find('\n'));
}

TEST(Stream, SameResultsAsBuiltTables) {
  const char* queries[] = {
      "union(R,S)", "minus(R,S)", "union(R,R)", "minus(R,R)", "minus(S,R)",
      "select(R,GT(a,0))", "project(R,b,a)", "project(select(S,NEQ(a,1)),a)", "project(R,zz)",
  };
  const struct {
    std::size_t rows;
    const char* types;
    int distinct;
  } shapes[] = {
      {50, "it", 5},        // few rows, many repeats
      {3000, "ti", 40},     // texts first
      {80000, "itt", 300},  // both threads, hash tables past their first growth
      {80000, "iiii", 1 << 20},  // four wide integer columns: more than 64 bits a row
      {20000, "tt", 5000},  // many distinct texts
      {2000, "t", 3},
  };
  unsigned seed = 1;
  for (const auto& s : shapes) {
    for (const char* q : queries) {
      SCOPED_TRACE(std::string(q) + " over " + s.types + " x " + std::to_string(s.rows));
      expect_same_both_ways(std::string(q) + "\n" + tables(seed++, s.rows, s.types, s.distinct));
    }
  }
}

// Tables the streamed paths must leave to evaluation: other widths, other
// kinds, no rows, a table whose rows were given twice.
TEST(Stream, UnlikeOperandsAndEdgeTables) {
  const char* inputs[] = {
      "union(R,S)\nR(a int, b text)\n1, 'x'\n\nS(a text, b text)\n'1', 'x'\n",
      "minus(R,S)\nR(a int)\n1\n0\n\nS(a int, b int)\n1, 2\n",
      "union(R,S)\nR(a int)\n\nS(a int)\n3\n",
      "union(R,S)\nR()\n\n\nS()\n\n",
      "minus(R,S)\nR(a text)\n''\n'x'\n\nS(a text)\n''\n",
      "union(R,S)\nR(a int)\n1\n\nR(a int)\n2\n\nS(a int)\n2\n3\n",
      "select(R,EQ(a,''))\nR(a int, b text)\n0, ''\n1, 'x'\n",
  };
  for (const char* in : inputs) {
    SCOPED_TRACE(in);
    expect_same_both_ways(in);
  }
}

}  // namespace
