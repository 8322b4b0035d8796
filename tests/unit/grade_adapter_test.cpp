// Grading's view of the engine: input texts cut into blocks exactly as the
// driver loads them, databases of chosen rows, rendered inputs that load
// back to the same database, evaluation outcomes, and the comparison of two
// results.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grade/compare.h"
#include "grade/counterexample.h"
#include "grade/engine_adapter.h"
#include "engine/loader.h"
#include "engine/pipeline.h"

namespace {

// What the driver prints for a query on the tables of `input`.
std::string driver_result(const std::string& input, const std::string& query) {
  const std::string rest = input.substr(std::min(input.find('\n'), input.size()));
  const std::string text = query + rest;
  const run_result r = run_text(text);
  if (r.status != 0) return r.messages;
  return r.output.substr(text.size() + std::string(echo_suffix(text)).size());
}

TEST(Source, BlocksAsTheDriverLoadsThem) {
  const struct {
    const char* what;
    const char* input;
    std::vector<std::string> names;  // the tables, in order
    std::uint32_t rows;
  } cases[] = {
      {"two blocks", "q\nR(a int)\n1\n2\n\nS(b text)\n'x'\n", {"R", "S"}, 3},
      {"a later block replaces", "q\nR(a int)\n1\n\nS(b int)\n5\n\nR(c text)\n'z'\n'w'", {"S", "R"}, 3},
      {"empty name, then a header at once", "q\n(a int)\nT(x int)\n4\n", {"", "T"}, 1},
      {"no parenthesis: a table without columns", "q\nT\nrow one\n\n", {"T"}, 1},
      {"blank lines are rows; CR kept", "q\n\n\nR(a int, b text)\r\n   \n2 'z'\r\n", {"R"}, 2},
      {"query only", "q", {}, 0},
      {"empty input", "", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const grade::source s = grade::read_source(c.input);
    std::vector<std::string> names;
    for (const auto& t : s.tables) names.push_back(t.name);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(s.row_count, c.rows);
    EXPECT_EQ(s.lines_after_query, !c.names.empty());
    grade::engine_db e(s, grade::engine_options());
    for (const auto& t : s.tables) {
      EXPECT_EQ(e.evaluate(t.name).printed(), driver_result(c.input, t.name)) << t.name;
    }
    // A rendered copy of every row loads back to the same tables.
    const std::string copy = grade::render_input("q", s, grade::every_row(s));
    grade::engine_db back(grade::read_source(copy), grade::engine_options());
    for (const auto& t : s.tables) EXPECT_EQ(back.evaluate(t.name).printed(), e.evaluate(t.name).printed());
  }
}

TEST(Source, ChosenRowsAndDroppedTables) {
  const grade::source s = grade::read_source("q\nR(a int)\n1\n2\n3\n\nS(b text)\n'x'\n'y'\n\nT(c int)\n9\n");
  EXPECT_EQ(s.table_of(0), 0u);
  EXPECT_EQ(s.table_of(3), 1u);
  EXPECT_EQ(s.table_of(5), 2u);
  const grade::choice c{{1, 4}, {false, false, true}};
  EXPECT_EQ(grade::render_input("union(R,R)", s, c), "union(R,R)\nR(a int)\n2\n\nS(b text)\n'y'\n");
  grade::engine_db e(s, c, grade::engine_options());
  EXPECT_EQ(e.evaluate("R").printed(), "R(a int)\n2\n");
  EXPECT_EQ(e.evaluate("S").printed(), "S(b text)\n'y'\n");
  const grade::evaluation missing = e.evaluate("T", "q.txt");
  EXPECT_TRUE(missing.positioned());
  EXPECT_EQ(missing.error(), "relalg: q.txt:1:1: error: no table named 'T'; did you mean 'R' or 'S'?\nT\n^");
  const grade::choice none{{}, {}};
  EXPECT_EQ(grade::render_input("R", s, none), "R\nR(a int)\n\nS(b text)\n\nT(c int)\n");
}

TEST(Evaluation, ResultsFailuresAndCells) {
  const grade::source s = grade::read_source("q\nR(a int, b text)\n1, 'x,y'\n-2\n");
  grade::engine_db e(s, grade::engine_options());
  const grade::evaluation ok = e.evaluate("select(R,GT(a,-5))");
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.header(), "(a int, b text)");
  EXPECT_EQ(ok.rows_text(), "1,'x,y'\n-2,\n");
  EXPECT_EQ(ok.row_lines(), (std::vector<std::string_view>{"1,'x,y'", "-2,"}));
  EXPECT_EQ(ok.cells(0), (std::vector<std::string>{"1", "'x,y'"}));
  EXPECT_EQ(ok.cells(1), (std::vector<std::string>{"-2", ""}));
  EXPECT_EQ(ok.column_names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(e.row_cells(s), (std::vector<std::vector<std::string>>{{"1", "'x,y'"}, {"-2", ""}}));
  const grade::evaluation bad = e.evaluate("product(R,R)");
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().rfind("relalg: <query>:1:1: error: product: column 'a' appears in both operands", 0), 0u);
  EXPECT_EQ(bad.error().substr(bad.error().find('\n')), "\nproduct(R,R)\n^~~~~~~~~~~~");
  // Deep nesting runs on a stack of its own.
  std::string deep = "R";
  for (int i = 0; i < 2000; ++i) deep = "select(" + deep + ",EQ(a,a))";
  EXPECT_EQ(e.evaluate(deep).rows_text(), ok.rows_text());
  grade::engine_options limited;
  limited.max_rows = 3;
  grade::engine_db small(s, limited);
  EXPECT_NE(small.evaluate("product(R,rename(R,S(c,d)))").error().find("limit of 3"), std::string::npos);
}

TEST(Compare, HowResultsDiffer) {
  const grade::source s = grade::read_source(
      "q\nR(a int, b text)\n1, 'x'\n2, 'y'\n2, 'y'\n3, 'z'\n\nS(a int, b text)\n3, 'z'\n1, 'x'\n");
  grade::engine_db e(s, grade::engine_options());
  const auto cmp = [&](const char* ref, const char* sub, bool rows_only = false) {
    return grade::compare(e.evaluate(ref), e.evaluate(sub), rows_only);
  };
  EXPECT_FALSE(cmp("R", "R").differs);
  EXPECT_FALSE(cmp("nosuch", "product(R,R)").differs) << "both fail: no difference";

  const grade::comparison dup = cmp("select(R,GT(a,0))", "project(R,a,b)");
  EXPECT_TRUE(dup.differs);
  EXPECT_FALSE(dup.header_differs);
  EXPECT_EQ(dup.missing, (std::vector<std::string>{"2,'y'"})) << "a repeat counts";
  EXPECT_EQ(dup.extra_count, 0u);

  const grade::comparison order = cmp("select(S,GT(a,0))", "project(S,a,b)");
  EXPECT_TRUE(order.order_differs);
  EXPECT_EQ(order.order_row, 1u);
  EXPECT_EQ(order.order_expected, "3,'z'");
  EXPECT_EQ(order.witnesses.size(), 2u);

  const grade::comparison head = cmp("project(R,a,b)", "rename(project(R,a,b),N(a,c))");
  EXPECT_TRUE(head.header_differs);
  EXPECT_EQ(head.header_what, "the table name and the column names");
  EXPECT_EQ(head.missing_count + head.extra_count, 0u);
  EXPECT_FALSE(cmp("project(R,a,b)", "rename(project(R,a,b),N(a,c))", true).differs);

  const grade::comparison rows = cmp("R", "S");
  EXPECT_EQ(rows.header_what, "the table name");
  EXPECT_EQ(rows.missing, (std::vector<std::string>{"2,'y'", "2,'y'"}));
  EXPECT_EQ(rows.witnesses.front(), (std::vector<std::string>{"2", "'y'"}));

  const grade::comparison fails = cmp("R", "nosuch");
  EXPECT_TRUE(fails.submission_failed);
  EXPECT_EQ(fails.failure, "relalg: <query>:1:1: error: no table named 'nosuch'\nnosuch\n^~~~~~");
  // A student never sees the line of the reference query.
  const grade::comparison ref_fails = cmp("nosuch", "R");
  EXPECT_TRUE(ref_fails.reference_failed);
  EXPECT_EQ(ref_fails.failure, "relalg: <query>:1:1: error: no table named 'nosuch'");
}

}  // namespace
