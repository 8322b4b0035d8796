// The search for counterexamples: delta debugging on its own over sets of
// numbers (monotone tests and tests that are not), and the whole search over
// small databases, checked row by row through the engine.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grade/compare.h"
#include "grade/counterexample.h"
#include "grade/ddmin.h"
#include "grade/grader.h"

namespace {

using grade::row_set;

row_set range(std::uint32_t n) {
  row_set r;
  for (std::uint32_t i = 0; i < n; ++i) r.push_back(i);
  return r;
}

bool has(const row_set& s, std::uint32_t v) { return std::binary_search(s.begin(), s.end(), v); }

TEST(Ddmin, EndsOneMinimalWhateverTheTest) {
  const struct {
    const char* what;
    row_set start;
    std::function<bool(const row_set&)> holds;
    std::size_t size;  // of the result
  } cases[] = {
      {"two needed elements", range(100), [](const row_set& s) { return has(s, 3) && has(s, 77); }, 2},
      {"one needed, one forbidden", range(40), [](const row_set& s) { return has(s, 5) && !has(s, 6); }, 1},
      {"odd size (not monotone)", range(31), [](const row_set& s) { return s.size() % 2 == 1; }, 1},
      {"either one or a pair", range(64),
       [](const row_set& s) { return has(s, 1) || (has(s, 40) && has(s, 41)); }, 1},
      {"the empty set holds", range(10), [](const row_set&) { return true; }, 0},
      {"at least three", range(50), [](const row_set& s) { return s.size() >= 3; }, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::set<row_set> tested;
    std::size_t calls = 0;
    const std::function<bool(const row_set&)> counted = [&](const row_set& s) {
      ++calls;
      EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
      EXPECT_TRUE(tested.insert(s).second) << "a set was tested twice";
      return c.holds(s);
    };
    const grade::ddmin_result r = grade::ddmin(c.start, counted);
    EXPECT_TRUE(r.minimal);
    EXPECT_EQ(r.tests, calls);
    ASSERT_EQ(r.rows.size(), c.size);
    EXPECT_TRUE(c.holds(r.rows));
    for (std::size_t i = 0; i < r.rows.size(); ++i) {
      row_set rest = r.rows;
      rest.erase(rest.begin() + static_cast<long>(i));
      EXPECT_FALSE(c.holds(rest)) << "not 1-minimal: element " << r.rows[i] << " can go";
    }
  }
}

TEST(Ddmin, StopsAtTheBudget) {
  std::size_t calls = 0;
  const grade::ddmin_result r = grade::ddmin(
      range(1000), [&](const row_set& s) { return ++calls, s.size() >= 500; }, 10);
  EXPECT_FALSE(r.minimal);
  EXPECT_EQ(calls, 10u);
  EXPECT_GE(r.rows.size(), 500u);
}

// ---- The whole search --------------------------------------------------------------

const char* const kDb =
    "ignored\n"
    "R(a int, b text)\n"
    "1, 'x'\n2, 'y'\n3, 'x'\n4, 'z'\n5, ''\n0, 'y'\n"
    "\n"
    "S(c int, d text)\n"
    "2, 'y'\n3, 'q'\n9, 'x'\n-1, 'z'\n"
    "\n"
    "T(e int)\n7\n";

// Whether the queries differ on the chosen rows, through a fresh database.
bool differs(const grade::source& db, const grade::choice& c, const std::string& q1,
             const std::string& q2, bool rows_only) {
  grade::engine_db e(db, c, grade::engine_options());
  return !grade::same_result(e.evaluate(q1), e.evaluate(q2), rows_only);
}

TEST(Counterexample, SeparatesTheQueriesAndIsOneMinimal) {
  const grade::source db = grade::read_source(kDb);
  const struct {
    const char* ref;
    const char* sub;
    std::size_t rows;
  } cases[] = {
      {"minus(project(R,a),rename(project(S,c),x(a)))", "minus(rename(project(S,c),x(a)),project(R,a))", 1},
      {"select(R,EQ(b,'x'))", "select(R,NEQ(b,'y'))", 1},
      // A mixed-kind comparison: b is a string, 0 an integer.
      {"select(R,GT(b,0))", "select(R,GTE(b,0))", 1},
      {"select(R,LT(a,3))", "select(R,LTE(a,3))", 1},
      {"project(select(product(R,S),EQ(a,c)),b)", "project(product(R,S),b)", 2},
      {"project(select(product(R,S),EQ(b,d)),a)", "project(select(product(R,S),EQ(a,c)),a)", 2},
      // Not monotone: the difference needs a row of S to be absent.
      {"minus(project(R,b),project(S,d))", "project(R,b)", 2},
      {"select(R,EQ(a,1))", "project(R,a)", 0},
  };
  const auto cells = grade::engine_db(db, grade::engine_options()).row_cells(db);
  ASSERT_EQ(cells.size(), db.row_count);
  for (const bool with_cells : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.ref) + " vs " + c.sub + (with_cells ? "" : " (no cells)"));
      grade::engine_db full(db, grade::engine_options());
      const grade::comparison diff = grade::compare(full.evaluate(c.ref), full.evaluate(c.sub), false);
      ASSERT_TRUE(diff.differs);
      grade::counterexample_request req;
      req.db = &db;
      req.start = grade::every_row(db).rows;
      req.reference_query = c.ref;
      req.submission_query = c.sub;
      req.witnesses = diff.witnesses;
      req.cells = with_cells ? &cells : nullptr;
      const grade::counterexample cx = grade::find_counterexample(req);
      EXPECT_TRUE(cx.minimal);
      EXPECT_EQ(cx.row_count, c.rows);
      EXPECT_TRUE(differs(db, cx.rows, c.ref, c.sub, false));
      for (std::size_t i = 0; i < cx.rows.rows.size(); ++i) {
        grade::choice less = cx.rows;
        less.rows.erase(less.rows.begin() + static_cast<long>(i));
        EXPECT_FALSE(differs(db, less, c.ref, c.sub, false)) << "row " << cx.rows.rows[i] << " can go";
      }
      // The file shown is that database: it gives the submission's result.
      grade::engine_db shown(grade::read_source(cx.input), grade::engine_options());
      EXPECT_EQ(shown.evaluate(c.sub).printed(), cx.submission.printed());
      EXPECT_EQ(shown.evaluate(c.ref).printed(), cx.reference.printed());
      EXPECT_EQ(cx.input.find("T(e int)"), std::string::npos) << "a table neither query uses is left out";
    }
  }
}

TEST(Counterexample, RowsOnlyIgnoresTheHeader) {
  const grade::source db = grade::read_source(kDb);
  grade::counterexample_request req;
  req.db = &db;
  req.start = grade::every_row(db).rows;
  req.reference_query = "rename(select(R,GT(a,2)),N(p,q))";
  req.submission_query = "select(R,GT(a,3))";
  req.rows_only = true;
  const grade::counterexample cx = grade::find_counterexample(req);
  EXPECT_EQ(cx.row_count, 1u);
  EXPECT_EQ(cx.input, "select(R,GT(a,3))\nR(a int, b text)\n3, 'x'\n");
}

TEST(RandomRows, DeterministicSubsetsThatVary) {
  const grade::source db = grade::read_source(kDb);
  const row_set a = grade::random_rows(db, 1, 0, 1);
  EXPECT_EQ(a, grade::random_rows(db, 1, 0, 1));
  std::set<row_set> seen;
  for (std::size_t k = 1; k <= 20; ++k) {
    const row_set r = grade::random_rows(db, 7, 0, k);
    EXPECT_TRUE(std::is_sorted(r.begin(), r.end()));
    for (const auto v : r) EXPECT_LT(v, db.row_count);
    seen.insert(r);
  }
  EXPECT_GT(seen.size(), 10u);
  EXPECT_NE(grade::random_rows(db, 2, 0, 1), a);
}

}  // namespace
