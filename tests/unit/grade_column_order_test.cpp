// Results compared whatever the order of their columns: matched by name
// when the names agree, else by a permutation of the values; sets compared
// as sets, results with repeated rows in order.
#include <string>

#include <gtest/gtest.h>

#include "grade/column_order.h"
#include "grade/compare.h"

namespace {

const char* const kData =
    "Q\nR(a int, b text, c int)\n1, 'x', 10\n2, 'y', 20\n2, 'y', 20\n3, 'z', 30\n";

grade::evaluation run(const std::string& query) {
  const grade::source s = grade::read_source(kData);
  const grade::engine_db db(s, grade::default_engine_options());
  return db.evaluate(query);
}

TEST(ColumnOrder, MatchedByNameOrByValues) {
  const struct {
    const char* reference;
    const char* submission;
    bool match;
    bool by_name;
  } cases[] = {
      {"project(R,a,b)", "project(R,b,a)", true, true},
      {"project(R,a,b,c)", "project(R,c,a,b)", true, true},
      // The names differ: any permutation that makes the rows the same.
      {"project(R,a,b)", "rename(project(R,b,a),T(x,y))", true, false},
      // The same names, but the values under them swapped: only the
      // order of the names counts.
      {"project(R,a,c)", "rename(project(R,c,a),T(a,c))", false, true},
      {"project(R,a,b)", "project(R,a,c)", false, false},
      {"project(R,a,b)", "project(select(R,GT(a,1)),b,a)", false, false},
      // Repeated rows: compared in order, the header free.
      {"R", "rename(R,S(x,y,z))", true, false},
      {"R", "select(R,GT(a,0))", true, true},
      {"project(R,a)", "project(R,a)", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.reference) + " against " + c.submission);
    const auto m = grade::match_columns(run(c.reference), run(c.submission));
    EXPECT_EQ(m.has_value(), c.match);
    if (m) {
      EXPECT_EQ(m->by_name, c.by_name);
    }
  }
}

TEST(ColumnOrder, RowsWithRepeatsKeepTheirOrder) {
  // R holds (2,'y',20) twice: a result with repeats is compared in order,
  // so another order of its rows is not the same.
  EXPECT_FALSE(grade::match_columns(run("select(R,GT(a,0))"),
                                    run("union(select(R,GT(a,0)),select(R,GT(a,0)))")));
}

TEST(ColumnOrder, TheRulesOfComparing) {
  const grade::match_rules exact{}, rows{true, false}, any{false, true};
  const struct {
    const char* reference;
    const char* submission;
    bool exact, rows, any;
  } cases[] = {
      {"project(R,a,b)", "project(R,a,b)", true, true, true},
      {"project(R,a,b)", "rename(project(R,a,b),T(x,y))", false, true, true},
      {"project(R,a,b)", "project(R,b,a)", false, false, true},
      {"project(R,a,b)", "project(R,a,c)", false, false, false},
      // Both fail: the same; one fails: not.
      {"product(R,R)", "product(R,R)", true, true, true},
      {"project(R,a)", "product(R,R)", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.reference) + " against " + c.submission);
    const grade::evaluation r = run(c.reference), s = run(c.submission);
    EXPECT_EQ(grade::same_result(r, s, exact), c.exact);
    EXPECT_EQ(grade::same_result(r, s, rows), c.rows);
    EXPECT_EQ(grade::same_result(r, s, any), c.any);
    EXPECT_EQ(grade::compare(r, s, any).differs, !c.any);
  }
  // No order of the columns makes them the same: the rows are shown as
  // with the header free.
  const grade::comparison d = grade::compare(run("project(R,a,b)"), run("project(R,a,c)"), any);
  EXPECT_FALSE(d.header_differs);
  EXPECT_EQ(d.missing_count, 3u);
}

}  // namespace
