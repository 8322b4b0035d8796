// The whole program over in-memory input: echo, loading, result output and
// the handling of queries without a result.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "algo.h"
#include "engine/loader.h"
#include "engine/pipeline.h"

namespace {

using names = std::vector<std::string>;

TEST(Driver, SuccessfulRuns) {
  const struct {
    const char* what;
    const char* input;
    const char* output;
  } cases[] = {
      {"bare table name", "R\nR(a int, b text)\n1, 'x'\n2, 'y'",
       "R\nR(a int, b text)\n1, 'x'\n2, 'y'\n\nR(a int, b text)\n1,'x'\n2,'y'\n"},
      {"same with final line feed", "R\nR(a int, b text)\n1, 'x'\n2, 'y'\n",
       "R\nR(a int, b text)\n1, 'x'\n2, 'y'\n\nR(a int, b text)\n1,'x'\n2,'y'\n"},
      {"nested query", "project(select(R,GT(a,1)),b)\nR(a int, b text)\n1, 'x'\n2, 'y'\n",
       "project(select(R,GT(a,1)),b)\nR(a int, b text)\n1, 'x'\n2, 'y'\n\n(b text)\n'y'\n"},
      {"empty query names the table with the empty name", "\n(a int)\n5\n",
       "\n(a int)\n5\n\n(a int)\n"},
      {"second block replaces; blank line is a row", "R\n\n\nR(a int)\n1\n\nR(b int, c text)\n   \n2 'z'\n",
       "R\n\n\nR(a int)\n1\n\nR(b int, c text)\n   \n2 'z'\n\nR(b int, c text)\n0,\n2,'z'\n"},
      {"several blocks, empty lines at the end", "minus(R,S)\nR(a int)\n1\n2\n\nS(a int)\n2\n\n\n",
       "minus(R,S)\nR(a int)\n1\n2\n\nS(a int)\n2\n\n\n\n(a int)\n1\n"},
      {"carriage returns", "union(R,R)\r\nR(a int)\r\n1\r\n",
       "union(R,R)\r\nR(a int)\r\n1\r\n\nR(a int)\n1\n"},
      {"table without rows", "T\nT(x text)", "T\nT(x text)\n\nT(x text)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const run_result r = run_text(c.input);
    EXPECT_EQ(r.status, exit_ok);
    EXPECT_EQ(r.messages, "");
    EXPECT_EQ(r.output, c.output);
  }
}

TEST(Driver, FailingRunsKeepTheEcho) {
  const struct {
    const char* what;
    const char* input;
    const char* echo;
    const char* message;
  } cases[] = {
      {"empty input", "", "\n", "no table named ''"},
      {"query only", "R", "R\n\n", "no table named 'R'"},
      {"unknown operation", "Union(R,S)\nR(a int)\n1\n", "Union(R,S)\nR(a int)\n1\n\n",
       "unknown operation 'Union'"},
      {"query line is never a table", "R(a int)\nR(a int)\n1", "R(a int)\nR(a int)\n1\n\n",
       "unknown operation 'R'"},
      {"trailing blank in a bare name", "R \nR(a int)\n", "R \nR(a int)\n\n", "no table named 'R '"},
      {"unknown operand", "union(R,Q)\nR(a int)\n", "union(R,Q)\nR(a int)\n\n", "no table named 'Q'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const run_result r = run_text(c.input);
    EXPECT_EQ(r.status, exit_failed);
    EXPECT_EQ(r.output, c.echo);
    EXPECT_NE(r.messages.find(c.message), std::string::npos) << r.messages;
  }
}

TEST(Driver, OtherRefusalsFailToo) {
  for (const char* input : {"product(R,R)\nR(a int)\n1\n", "rename(R,N)\nR(a int)\n1\n",
                            "select(R,a)\nR(a int)\n1\n"}) {
    SCOPED_TRACE(input);
    const run_result r = run_text(input);
    EXPECT_EQ(r.status, exit_failed);
    EXPECT_FALSE(r.messages.empty());
    EXPECT_EQ(r.output, std::string(input) + "\n");
  }
}

TEST(LoadInput, EchoQueryAndCatalog) {
  database db;
  const std::string input = "Q(x)\n\nR(a int, b text)\n1 'x'\n   \n\n(c int)\nS(d)\n'v'\n";
  EXPECT_EQ(load_tables(input, db.tables, false), "Q(x)");
  EXPECT_EQ(echo_suffix(input), "\n");
  EXPECT_FALSE(db.istable("Q"));
  ASSERT_TRUE(db.istable("R"));
  EXPECT_EQ(db.gettable("R").rows.size(), 2u);
  ASSERT_TRUE(db.istable(""));
  EXPECT_EQ(db.gettable("").colnames, (names{"c"}));
  EXPECT_TRUE(db.gettable("").rows.empty());
  ASSERT_TRUE(db.istable("S"));  // header after the empty-named one
  EXPECT_EQ(db.gettable("S").colnames, (names{"d"}));
  ASSERT_EQ(db.gettable("S").rows.size(), 1u);
  EXPECT_EQ(db.gettable("S").rows.front()[0].sval, "'v'");
}

TEST(LoadInput, EdgeInputs) {
  const struct {
    const char* input;
    const char* query;
    const char* echo;
    std::size_t tables;
  } cases[] = {
      {"", "", "\n", 0},
      {"Q", "Q", "Q\n\n", 0},
      {"Q\n", "Q", "Q\n\n", 0},
      {"Q\n\n", "Q", "Q\n\n\n", 0},
      {"\n", "", "\n\n", 0},
      {"Q\nR(a int)", "Q", "Q\nR(a int)\n\n", 1},
      {"Q\n  \n", "Q", "Q\n  \n\n", 1},  // a line of blanks between blocks is a header
      {" Q \t\r\n", " Q \t\r", " Q \t\r\n\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("input '") + c.input + "'");
    database db;
    EXPECT_EQ(load_tables(c.input, db.tables, false), c.query);
    EXPECT_EQ(std::string(c.input) + std::string(echo_suffix(c.input)), c.echo);
    EXPECT_EQ(db.tables.size(), c.tables);
  }
}

// Rows can be loaded line by line into the tables, or kept as runs of the
// input and parsed later, in pieces, on two threads; both must give the same
// tables.
TEST(LoadInput, DeferredRowsEqualRowsLoadedLineByLine) {
  std::string many = "Q\nR(a int, b text)\n";
  for (int i = 0; i < 60000; ++i) many += std::to_string(i * 7 % 1000) + ", 'v" + std::to_string(i) + "'\n";
  const std::string inputs[] = {
      "Q\nR(a int, b text)\n1, 'x'\n2, 'y'",               // last line without "\n"
      "Q\nR(a int)\n1\n\n\nS(b int)\n2\n",              // several empty lines
      "Q\nR(a int)\n\n1\n",                               // empty line at once: "1" is a header
      "Q\nR(a int)\n1\r\n2\r\n\r\n3\n",                  // "\r" lines are rows
      "Q\nR(a int)\n1\nR(b text)\n'x'\n",                 // a header inside a block is a row
      "Q\nR(a int)\n1\n\nR(b text)\n'x'\n\n",            // redefinition, empty line at the end
      "Q\n(a int)\nR(b int)\n5\n",                         // after an unnamed header, a header
      "Q\nR()\n\n\n\n",
      "Q\nR(a int)\n \n  \n\nS(a int)\n\n",
      many,
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 60));
    database plain;
    database deferred;
    EXPECT_EQ(load_tables(input, plain.tables, false), load_tables(input, deferred.tables, true));
    parse_all_pending(deferred.tables);
    algo interp(std::move(deferred));
    ASSERT_EQ(interp.db.tables.size(), plain.tables.size());
    for (const auto& [name, t] : plain.tables) {
      SCOPED_TRACE("table '" + name + "'");
      std::ostringstream want;
      std::ostringstream got;
      want << plain.gettable(name);
      got << interp.interpreter(name);
      EXPECT_EQ(got.str(), want.str());
    }
  }
}

TEST(Driver, DeepNestingHasNoFixedLimit) {
  const int depth = 20000;
  std::string cond = "EQ(a,1)";
  for (int i = 0; i < depth; ++i) cond = "NOT(" + cond + ")";  // even: same as EQ(a,1)
  std::string query = "R";
  for (int i = 0; i < depth / 10; ++i) query = "union(" + query + ",R)";
  const std::string input = "select(" + query + "," + cond + ")\nR(a int)\n1\n2\n";
  const run_result r = run_text(input);
  EXPECT_EQ(r.status, exit_ok) << r.messages;
  EXPECT_EQ(r.output, input + "\n(a int)\n1\n");
}

}  // namespace
