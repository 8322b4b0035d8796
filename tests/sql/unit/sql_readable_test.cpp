// The readable translation of queries read by the real parser, compared
// with statements written by hand: selections folded into WHERE, products
// with equalities as JOIN ... ON, renamings as aliases, union and
// difference as named steps, names quoted only where they must be, and the
// bounds that make a SELECT a step of its own. That the statements give
// relalg's rows on the engines is tests/sql/run.sh's part.
#include <gtest/gtest.h>

#include <string>

#include "engine/loader.h"
#include "engine/parser.h"
#include "sql/readable.h"
#include "sql/script.h"

namespace relalg_sql {
namespace {

const std::string kTables =
    "students(id int, name text, year int)\n1, 'Ada', 1\n\n"
    "enrolments(student int, course text, grade int)\n1, 'CS101', 92\n\n"
    "courses(code text, title text)\n'CS101', 'Programming'\n\n"
    "R(a int, select text)\n1, 'x'\n\n"
    "S(a int, b text)\n";

std::string readable(const std::string& query, dialect d = dialect::sqlite, bool extended = false) {
  const std::string input = query + "\n" + kTables;
  table_map tables;
  const std::string line = load_tables(input, tables, true);
  parse_all_pending(tables);
  const plan p = parse_query(line, tables, {false, extended});
  return translate_readable(p, name_tables(d, schemas_of(tables)), d);
}

struct readable_case {
  const char* what;
  const char* query;
  const char* sql;
};

class readable_cases : public ::testing::TestWithParam<readable_case> {};

TEST_P(readable_cases, match_the_hand_written_statements) {
  const readable_case& c = GetParam();
  EXPECT_EQ(readable(c.query), c.sql) << c.what;
}

const readable_case kCases[] = {
    {"a table keeps its rows' order", "students",
     "-- result: students(id int, name text, year int)\n"
     "SELECT students.id, students.name, students.year\n"
     "FROM students\n"
     "ORDER BY students.\"#\";\n"},
    {"selection and projection fold into one SELECT", "project(select(students, EQ(year, 3)), name)",
     "-- result: (name text)\n"
     "SELECT DISTINCT students.name\n"
     "FROM students\n"
     "WHERE students.year = 3\n"
     "ORDER BY 1;\n"},
    {"a renamed copy is an alias; equalities between operands join",
     "project(select(product(students, rename(students, other(id2, name2, year2))), AND(EQ(year, year2), LT(id, id2))), name, name2)",
     "-- result: (name text, name2 text)\n"
     "SELECT DISTINCT students.name, other.name AS name2\n"
     "FROM students\n"
     "JOIN students AS other ON students.year = other.year\n"
     "WHERE students.id < other.id\n"
     "ORDER BY 1, 2;\n"},
    {"each equality joins the later of its two tables, the rest is WHERE in the order written",
     "project(select(product(product(students, enrolments), courses), AND(EQ(course, code), AND(GT(grade, 50), EQ(id, student)))), title)",
     "-- result: (title text)\n"
     "SELECT DISTINCT courses.title\n"
     "FROM students\n"
     "JOIN enrolments ON students.id = enrolments.student\n"
     "JOIN courses ON enrolments.course = courses.code\n"
     "WHERE enrolments.grade > 50\n"
     "ORDER BY 1;\n"},
    {"a product without equalities is a cross join", "product(students, courses)",
     "-- result: (code text, id int, name text, title text, year int)\n"
     "SELECT DISTINCT courses.code, students.id, students.name, courses.title, students.year\n"
     "FROM students\n"
     "CROSS JOIN courses\n"
     "ORDER BY 1, 2, 3, 4, 5;\n"},
    {"union is a named step; a second read of a table has an alias of its own",
     "union(project(students, id), project(select(students, GT(year, 1)), id))",
     "-- result: (id int)\n"
     "WITH\n"
     "  -- union(project(students, id), project(select(students, GT(year, 1)), id))\n"
     "  union_1 AS (\n"
     "    SELECT students.id\n"
     "    FROM students\n"
     "    UNION\n"
     "    SELECT students_2.id\n"
     "    FROM students AS students_2\n"
     "    WHERE students_2.year > 1\n"
     "  )\n"
     "SELECT union_1.id\n"
     "FROM union_1\n"
     "ORDER BY 1;\n"},
    {"difference is EXCEPT", "minus(project(students, id), rename(project(enrolments, student), e(id)))",
     "-- result: (id int)\n"
     "WITH\n"
     "  -- minus(project(students, id), rename(project(enrolments, student), e(id)))\n"
     "  minus_1 AS (\n"
     "    SELECT students.id\n"
     "    FROM students\n"
     "    EXCEPT\n"
     "    SELECT e.student\n"
     "    FROM enrolments AS e\n"
     "  )\n"
     "SELECT minus_1.id\n"
     "FROM minus_1\n"
     "ORDER BY 1;\n"},
    {"OR among other conditions stands in parentheses; NOT keeps its own",
     "select(students, AND(OR(EQ(year, 1), EQ(year, 2)), NOT(EQ(name, 'Ada'))))",
     "-- result: (id int, name text, year int)\n"
     "SELECT students.id, students.name, students.year\n"
     "FROM students\n"
     "WHERE (students.year = 1 OR students.year = 2)\n"
     "  AND NOT (students.name = '''Ada''')\n"
     "ORDER BY students.\"#\";\n"},
    {"an integer against a string says which rule decides it", "select(students, AND(GT(name, 'B'), LT(year, 'x')))",
     "-- result: (id int, name text, year int)\n"
     "SELECT students.id, students.name, students.year\n"
     "FROM students\n"
     "WHERE students.name > '''B'''\n"
     "  AND students.year < 0 /* relalg: an integer against a string compares the integer with 0 */\n"
     "ORDER BY students.\"#\";\n"},
    {"names quoted only where they must be: upper case, keywords", "project(select(R, NEQ(select, 'x')), select, a)",
     "-- result: (select text, a int)\n"
     "SELECT DISTINCT \"R\".\"select\", \"R\".a\n"
     "FROM \"R\"\n"
     "WHERE \"R\".\"select\" <> '''x'''\n"
     "ORDER BY 1, 2;\n"},
    {"a condition the reading rules decide is left out", "select(students, eq(year, 3))",
     "-- result: (id int, name text, year int)\n"
     "SELECT students.id, students.name, students.year\n"
     "FROM students\n"
     "ORDER BY students.\"#\";\n"},
};
INSTANTIATE_TEST_SUITE_P(statements, readable_cases, ::testing::ValuesIn(kCases));

// One SELECT joins at most eight tables: the ninth makes the larger
// operand a step of its own, and the result still reads all ten tables.
TEST(ReadableSql, ManyTablesMakeAStepOfTheLargerOperand) {
  std::string query = "S";
  for (int i = 0; i < 9; ++i) query = "product(rename(S, s" + std::to_string(i) + "(a" + std::to_string(i) + ", b" +
                                      std::to_string(i) + ")), " + query + ")";
  const std::string sql = readable(query);
  EXPECT_NE(sql.find("  operand_1 AS (\n"), std::string::npos) << sql;
  EXPECT_NE(sql.find("one SELECT joins a few tables at most"), std::string::npos) << sql;
  std::size_t reads = 0;
  for (std::size_t at = sql.find("\"S\" AS"); at != std::string::npos; at = sql.find("\"S\" AS", at + 1)) ++reads;
  EXPECT_EQ(reads, 10u) << sql;
}

// Many selections in a row fill one WHERE up to a bound, then go on over a
// step, so that no engine meets an expression too deep.
TEST(ReadableSql, LongChainsOfSelectionsAreCutIntoSteps) {
  std::string query = "students";
  for (int i = 0; i < 100; ++i) query = "select(" + query + ", GT(year, " + std::to_string(i) + "))";
  const std::string sql = readable(query);
  EXPECT_NE(sql.find("conditions_3 AS (\n"), std::string::npos) << sql;
  EXPECT_EQ(sql.find("conditions_4 AS (\n"), std::string::npos) << sql;
  EXPECT_NE(sql.find("ORDER BY conditions_3.\"#\";\n"), std::string::npos) << sql;
}

TEST(ReadableSql, PostgresQuotesWhatItFoldsAndMaterializesDeepSteps) {
  EXPECT_EQ(readable("project(R, select)", dialect::postgres),
            "-- result: (select text)\n"
            "SELECT DISTINCT \"R\".\"select\"\n"
            "FROM \"R\"\n"
            "ORDER BY 1;\n");
  std::string query = "students";
  for (int i = 0; i < 30; ++i) query = "union(" + query + ", students)";
  EXPECT_NE(readable(query, dialect::postgres).find("union_1 AS MATERIALIZED (\n"), std::string::npos);
  EXPECT_NE(readable(query, dialect::sqlite).find("union_1 AS (\n"), std::string::npos);
}

// The extended operations are written through their definitions, as a
// person would write those: a natural join's renamed-apart columns are the
// second table's own, joined on; a division is two differences.
TEST(ReadableSql, ExtendedOperationsAsTheirDefinitions) {
  EXPECT_EQ(readable("njoin(rename(students, s(student, name, year)), enrolments)", dialect::sqlite, true),
            "-- result: (course text, grade int, name text, student int, year int)\n"
            "SELECT DISTINCT enrolments.course, enrolments.grade, s_2.name, s_2.id AS student, s_2.year\n"
            "FROM students AS s_2\n"
            "JOIN enrolments ON s_2.id = enrolments.student\n"
            "ORDER BY 1, 2, 3, 4, 5;\n");
  EXPECT_EQ(readable("divide(project(enrolments, student, course), rename(project(courses, code), c(course)))", dialect::sqlite, true),
            "-- result: (student int)\n"
            "WITH\n"
            "  -- divide(project(enrolments, student, course), rename(project(courses, code), c(course)))\n"
            "  minus_1 AS (\n"
            "    SELECT enrolments_2.student, c.code AS course\n"
            "    FROM enrolments AS enrolments_2\n"
            "    CROSS JOIN courses AS c\n"
            "    EXCEPT\n"
            "    SELECT enrolments_3.student, enrolments_3.course\n"
            "    FROM enrolments AS enrolments_3\n"
            "  ),\n"
            "  -- divide(project(enrolments, student, course), rename(project(courses, code), c(course)))\n"
            "  minus_2 AS (\n"
            "    SELECT enrolments.student\n"
            "    FROM enrolments\n"
            "    EXCEPT\n"
            "    SELECT minus_1.student\n"
            "    FROM minus_1\n"
            "  )\n"
            "SELECT minus_2.student\n"
            "FROM minus_2\n"
            "ORDER BY 1;\n");
}

}  // namespace
}  // namespace relalg_sql
