// Where a wrong query goes wrong on its counterexample: the operator that
// loses a row of the reference's result, or lets an extra one through, for
// the slips students make; and the trace of the query's operators.
#include <string>

#include <gtest/gtest.h>

#include "grade/where_wrong.h"

namespace {

const char* const kTables =
    "students(id int, name text, year int)\n6, 'Donald', 1\n7, 'Ada', 3\n\n"
    "enrolments(student int, course text)\n7, 'CS1'\n";

std::string at(const std::string& query, const std::optional<source_span>& s) {
  if (!s) return "(none)";
  return query.substr(s->begin, s->end - s->begin);
}

TEST(WhereWrong, TheOperatorThatLosesOrLetsThrough) {
  const struct {
    const char* query;
    std::vector<std::string> missing, extra;
    const char* lost_at;
    const char* extra_at;
    const char* words;
  } cases[] = {
      // GT where GTE was meant: the first-year student is lost there.
      {"project(select(students, GT(year, 1)), id)", {"6"}, {}, "select(students, GT(year, 1))", "(none)",
       "the row (6, 'Donald', 1) of students is lost at select(students, GT(year, 1)) (1:9)"},
      // A condition left out: the extra row passes the selection.
      {"project(select(students, GTE(year, 1)), id)", {}, {"6"}, "(none)", "select(students, GTE(year, 1))",
       "the extra row (6) comes from the row (6, 'Donald', 1) of students, which select(students, GTE(year, 1)) "
       "(1:9) lets through"},
      // Minus in the wrong order loses the student without enrolments.
      {"minus(project(enrolments, student), project(students, id))", {"6"}, {},
       "minus(project(enrolments, student), project(students, id))", "(none)", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const grade::where_wrong w = grade::locate(std::string(c.query) + "\n" + kTables, c.missing, c.extra);
    EXPECT_EQ(at(c.query, w.lost_at), c.lost_at);
    EXPECT_EQ(at(c.query, w.extra_at), c.extra_at);
    if (*c.words != 0) {
      EXPECT_EQ(w.lost.empty() ? w.extra : w.lost, c.words);
    }
    EXPECT_NE(w.trace.find("students -> students(id int, name text, year int): 2 rows\n"), std::string::npos)
        << w.trace;
  }
}

TEST(WhereWrong, AFailingQueryHasNoTrace) {
  const grade::where_wrong w = grade::locate(std::string("product(students,students)\n") + kTables, {"6"}, {});
  EXPECT_EQ(w.trace, "");
  EXPECT_FALSE(w.lost_at.has_value());
}

}  // namespace
