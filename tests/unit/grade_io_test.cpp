// Grading's command line, the manifest of a reference folder, and the JSON
// it writes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grade/inputs.h"
#include "grade/options.h"
#include "grade/report.h"

namespace {

using args = std::vector<std::string>;

TEST(GradeCommand, Parses) {
  const grade::parsed_command pc = grade::parse_command(
      {"a.txt", "--grade", "ref", "--db=x", "--db", "y", "--search", "5", "--seed=9", "--rows-only",
       "--json", "--gradescope", "out.json", "--max-rows=10", "--jobs", "3", "-", "--", "--json"});
  ASSERT_EQ(pc.what, grade::parsed_command::grade) << pc.error;
  const grade::grade_options& o = pc.options;
  EXPECT_EQ(o.reference, "ref");
  EXPECT_EQ(o.databases, (args{"x", "y"}));
  EXPECT_EQ(o.submissions, (args{"a.txt", "-", "--json"}));
  EXPECT_EQ(o.search, 5u);
  EXPECT_EQ(o.seed, 9u);
  EXPECT_TRUE(o.rows_only && o.json);
  EXPECT_EQ(o.gradescope.value_or(""), "out.json");
  EXPECT_EQ(o.max_rows.value_or(0), 10u);
  EXPECT_EQ(o.jobs, 3u);
  EXPECT_EQ(grade::parse_command({"--grade", "r", "s"}).options.jobs, grade::default_jobs());
  const grade::grade_options l = grade::parse_command({"--grade", "r", "s", "--time-limit", "2.5", "--memory-limit=64"}).options;
  EXPECT_EQ(l.time_limit, 2.5);
  EXPECT_EQ(l.memory_limit, 64u);
  const grade::grade_options d = grade::parse_command({"--grade", "r", "s", "--jobs=2"}).options;
  EXPECT_EQ(d.time_limit, 10);
  EXPECT_EQ(d.memory_limit, grade::default_memory_limit(2));
  EXPECT_LE(d.memory_limit, 2048u);
}

TEST(GradeCommand, BuildingAndConstraints) {
  const grade::parsed_command pc = grade::parse_command(
      {"--grade", "r", "--build=5", "--drop-constraint", "all", "--add-constraint", "key T(a, b)",
       "--explain-constraints"});
  ASSERT_EQ(pc.what, grade::parsed_command::grade) << pc.error;
  const grade::grade_options& o = pc.options;
  EXPECT_EQ(o.build, 5u);
  EXPECT_TRUE(o.explain_constraints);  // and no submission is needed
  ASSERT_EQ(o.constraint_changes.size(), 2u);
  EXPECT_FALSE(o.constraint_changes[0].add);
  EXPECT_EQ(o.constraint_changes[1].text, "key T(a, b)");
  EXPECT_EQ(o.constraint_changes[1].origin, "--add-constraint");
  EXPECT_EQ(grade::parse_command({"--grade", "r", "s"}).options.build, grade::kDefaultBuild);
  // Long queries meet fewer built databases, in proportion to their length.
  EXPECT_EQ(grade::build_budget(o, grade::kBuildQueryBytes), 5u);
  EXPECT_EQ(grade::build_budget(o, 2 * grade::kBuildQueryBytes), 2u);
  EXPECT_EQ(grade::build_budget(o, 10 * grade::kBuildQueryBytes), 0u);
  for (const auto& [a, error] : std::vector<std::pair<args, std::string>>{
           {{"--grade", "r", "s", "--build", "x"}, "--build needs a whole number, not 'x'"},
           {{"--grade", "r", "s", "--add-constraint"}, "--add-constraint needs a constraint, such as 'key T(c)'"},
           {{"--grade", "r", "s", "--drop-constraint=key T"},
            "--drop-constraint: expected TABLE(COLUMN, ...) in 'T'"}}) {
    const grade::parsed_command bad = grade::parse_command(a);
    EXPECT_EQ(bad.what, grade::parsed_command::usage_error);
    EXPECT_EQ(bad.error, error);
  }
}

TEST(GradeCommand, UsageErrors) {
  const struct {
    args a;
    std::string error;
  } cases[] = {
      {{"--grade"}, "--grade needs the reference file or folder"},
      {{"--grade", "r"}, "expected at least one submission"},
      {{"s"}, "--grade needs the reference file or folder"},
      {{"--grade", "r", "--grade", "q", "s"}, "--grade is given twice"},
      {{"--grade", "r", "--search", "-1", "s"}, "--search needs a whole number, not '-1'"},
      {{"--grade", "r", "--search=", "s"}, "--search needs a whole number, not ''"},
      {{"--grade", "r", "s", "--seed"}, "--seed needs a number"},
      {{"--grade", "r", "s", "--db"}, "--db needs a file"},
      {{"--grade", "r", "s", "--frob"}, "unknown option '--frob'"},
      {{"--grade", "r", "s", "--jobs=0"}, "--jobs needs at least 1, not '0'"},
      {{"--grade", "r", "s", "--jobs=1000000000000"},
       "--jobs takes at most " + std::to_string(grade::most_jobs()) + " (4 per core), not '1000000000000'"},
      {{"--grade", "r", "s", "--time-limit=0"},
       "--time-limit needs a number of seconds greater than 0, such as 10 or 2.5, not '0'"},
      {{"--grade", "r", "s", "--time-limit", "1e3"},
       "--time-limit needs a number of seconds greater than 0, such as 10 or 2.5, not '1e3'"},
      {{"--grade", "r", "s", "--memory-limit=8"}, "--memory-limit needs at least 16 (megabytes), not '8'"},
      {{"--grade", "r", "s", "--memory-limit=-1"}, "--memory-limit needs a whole number, not '-1'"},
  };
  for (const auto& c : cases) {
    const grade::parsed_command pc = grade::parse_command(c.a);
    EXPECT_EQ(pc.what, grade::parsed_command::usage_error);
    EXPECT_EQ(pc.error, c.error);
  }
  EXPECT_EQ(grade::parse_command({"--grade", "r", "--help"}).what, grade::parsed_command::help);
}

TEST(Manifest, ConstraintLines) {
  std::vector<grade::constraint_change> changes;
  const auto m = grade::parse_manifest(
      "ex1 2\ndrop all  # none of them\nadd reference R(a) -> S(b) where c = 'x # y'\nadd 3\n", "m", &changes);
  ASSERT_EQ(m.size(), 2u);  // "add 3" is an exercise named add
  EXPECT_EQ(m[1].name, "add");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_FALSE(changes[0].add);
  EXPECT_EQ(changes[0].text, "all");
  EXPECT_EQ(changes[0].origin, "m:2");
  EXPECT_EQ(changes[1].text, "reference R(a) -> S(b) where c = 'x # y'");
}

TEST(Manifest, Entries) {
  const auto m = grade::parse_manifest(
      "# comment\n\nex1 2\n  ex2\t0.5  hidden # trailing\r\nex3 1 after_due_date\n", "m");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].name, "ex1");
  EXPECT_EQ(m[0].points, 2);
  EXPECT_EQ(m[0].visibility, "visible");
  EXPECT_EQ(m[1].points, 0.5);
  EXPECT_EQ(m[1].visibility, "hidden");
  EXPECT_EQ(m[2].visibility, "after_due_date");
}

TEST(Manifest, HiddenDatabases) {
  const auto m = grade::parse_manifest("ex1 2 hidden=db2,db10 after_due_date\nex2 1 hidden=all\nex3 1 visible\n", "m");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].hidden, (std::vector<unsigned long>{2, 10}));
  EXPECT_EQ(m[0].visibility, "after_due_date");
  EXPECT_TRUE(m[1].hidden_all);
  EXPECT_TRUE(m[2].hidden.empty() && !m[2].hidden_all);
}

TEST(Manifest, PositionedErrors) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"ex1 2\nex2 two\n",
       "relalg: dir/manifest:2:5: error: points must be a number such as 2 or 0.5, not 'two'\nex2 two\n    ^"},
      {"ex1\n", "relalg: dir/manifest:1:4: error: expected the points after the exercise name\nex1\n   ^"},
      {"ex1 1 public\n",
       "relalg: dir/manifest:1:7: error: visibility must be visible, hidden, after_due_date or "
       "after_published, not 'public'\nex1 1 public\n      ^"},
      {"ex1 1\n\tex1 2\n",
       "relalg: dir/manifest:2:2: error: exercise 'ex1' is listed twice (first on line 1)\n\tex1 2\n\t^"},
      {"ex1 1. hidden\n",
       "relalg: dir/manifest:1:5: error: points must be a number such as 2 or 0.5, not '1.'\nex1 1. hidden\n    ^"},
      {"ex1 1 hidden=db0\n",
       "relalg: dir/manifest:1:7: error: hidden= takes the extra databases to hide, such as hidden=db1 or "
       "hidden=db1,db2, or hidden=all, not 'hidden=db0'\nex1 1 hidden=db0\n      ^"},
      {"ex1 1 hidden=db1, visible\n",
       "relalg: dir/manifest:1:7: error: hidden= takes the extra databases to hide, such as hidden=db1 or "
       "hidden=db1,db2, or hidden=all, not 'hidden=db1,'\nex1 1 hidden=db1, visible\n      ^"},
      {"ex1 1 hidden=db1 hidden=db2\n",
       "relalg: dir/manifest:1:18: error: the hidden databases are given twice\nex1 1 hidden=db1 hidden=db2\n                 ^"},
      {"ex1 1 visible hidden\n",
       "relalg: dir/manifest:1:15: error: unexpected text after the visibility\nex1 1 visible hidden\n              ^"},
  };
  for (const auto& c : cases) {
    try {
      grade::parse_manifest(c.text, "dir/manifest");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const grade::input_error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(Json, Strings) {
  const struct {
    std::string in;
    const char* out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"q\"b\\s", "\"q\\\"b\\\\s\""},
      {"a\nb\tc\rd", "\"a\\nb\\tc\\rd\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
      {std::string("\0", 1), "\"\\u0000\""},
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      {"\xff", "\"\xc3\xbf\""},            // not UTF-8: U+00FF
      {"\xc3", "\"\xc3\x83\""},            // cut short
      {"\xed\xa0\x80", "\"\xc3\xad\xc2\xa0\xc2\x80\""},  // a surrogate is not UTF-8
      {"\xc0\xaf", "\"\xc3\x80\xc2\xaf\""},  // overlong
  };
  for (const auto& c : cases) EXPECT_EQ(grade::json_string(c.in), c.out) << c.in;
  EXPECT_EQ(grade::format_points(1), "1");
  EXPECT_EQ(grade::format_points(0.5), "0.5");
  EXPECT_EQ(grade::format_points(12.25), "12.25");
  EXPECT_EQ(grade::gradescope_failure("relalg: x"), "{\"score\":0,\"output\":\"relalg: x\",\"tests\":[]}\n");
}

}  // namespace
