// The names a script gives tables and columns, and the quoting and value
// rules of the three dialects.
#include <gtest/gtest.h>

#include "sql/dialect.h"
#include "sql/names.h"
#include "sql/options.h"

namespace relalg_sql {
namespace {

TEST(SqlDialect, QuotesDoubleTheirQuoteCharacter) {
  EXPECT_EQ(quote_name("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(quote_text("'Ada'"), "'''Ada'''");
  EXPECT_EQ(quote_text("a\\b\r"), "'a\\b\r'");  // backslashes and CR stand as they are
  EXPECT_EQ(int_literal(-5), "-5");
  EXPECT_EQ(int_literal(INT32_MIN), "(-2147483647 - 1)");
}

TEST(SqlDialect, ValuesEachEngineCannotHold) {
  const std::string nul("a\0b", 3);
  for (const dialect d : {dialect::sqlite, dialect::postgres, dialect::duckdb}) {
    EXPECT_FALSE(text_problem(d, nul).empty()) << dialect_name(d);
    EXPECT_TRUE(text_problem(d, "\xc3\xa9t\xc3\xa9").empty()) << dialect_name(d);
  }
  // Only DuckDB insists on UTF-8.
  for (const char* bad : {"\xff", "\xc3", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "a\x80"}) {
    EXPECT_FALSE(text_problem(dialect::duckdb, bad).empty()) << bad;
    EXPECT_TRUE(text_problem(dialect::sqlite, bad).empty()) << bad;
    EXPECT_TRUE(text_problem(dialect::postgres, bad).empty()) << bad;
  }
  EXPECT_TRUE(text_problem(dialect::duckdb, "\xf0\x9f\x98\x80").empty());
}

TEST(SqlDialect, NameRules) {
  EXPECT_FALSE(name_problem(dialect::sqlite, "").empty());
  EXPECT_TRUE(name_problem(dialect::sqlite, std::string(200, 'a')).empty());
  EXPECT_TRUE(name_problem(dialect::postgres, std::string(63, 'a')).empty());
  EXPECT_FALSE(name_problem(dialect::postgres, std::string(64, 'a')).empty());
  EXPECT_EQ(folded_name(dialect::sqlite, "AbC"), "abc");
  EXPECT_EQ(folded_name(dialect::duckdb, "AbC"), "abc");
  EXPECT_EQ(folded_name(dialect::postgres, "AbC"), "AbC");
  EXPECT_EQ(comment_text("a\rb\x7f"), "a\\x0db\\x7f");
}

struct naming_case {
  const char* what;
  dialect d;
  std::vector<table_schema> tables;
  std::map<std::string, table_names> want;
};

TEST(SqlNames, TablesAndColumnsKeepTheirNamesUnlessTheEngineCannot) {
  const std::string long_name(64, 'c');
  const std::vector<naming_case> cases = {
      {"plain names stay", dialect::sqlite,
       {{"R", {"a", "b"}, {"int", "text"}}},
       {{"R", {"R", "#", {"a", "b"}}}}},
      {"a column named # moves the position column", dialect::postgres,
       {{"R", {"#", "#2"}, {"int", "int"}}},
       {{"R", {"R", "#3", {"#", "#2"}}}}},
      {"the later of two equal names is renamed", dialect::postgres,
       {{"R", {"a", "a", ""}, {"int", "int", ""}}},
       {{"R", {"R", "#", {"a", "column_2", "column_3"}}}}},
      {"case decides in PostgreSQL only", dialect::postgres,
       {{"R", {"a", "A"}, {"int", "int"}}, {"r", {"x"}, {"int"}}},
       {{"R", {"R", "#", {"a", "A"}}}, {"r", {"r", "#", {"x"}}}}},
      {"SQLite ignores case: the later table in byte order yields", dialect::sqlite,
       {{"r", {"x"}, {"int"}}, {"R", {"a", "A"}, {"int", "int"}}},
       {{"R", {"R", "#", {"a", "column_2"}}}, {"r", {"table_2", "#", {"x"}}}}},
      {"a fallback skips a name a table already has", dialect::duckdb,
       {{"table_2", {"column_2", "x", "X"}, {"int", "int", "int"}}, {"TABLE_1", {}, {}}, {"", {}, {}}},
       {{"table_2", {"table_2", "#", {"column_2", "x", "column_3"}}},
        {"TABLE_1", {"TABLE_1", "#", {}}},
        {"", {"table_1_2", "#", {}}}}},
      {"PostgreSQL names are at most 63 bytes", dialect::postgres,
       {{long_name, {long_name}, {"int"}}},
       {{long_name, {"table_1", "#", {"column_1"}}}}},
      {"DuckDB names must be UTF-8", dialect::duckdb,
       {{"T\xff", {"\xff"}, {"int"}}},
       {{"T\xff", {"table_1", "#", {"column_1"}}}}},
  };
  for (const naming_case& c : cases) {
    const auto got = name_tables(c.d, c.tables);
    ASSERT_EQ(got.size(), c.want.size()) << c.what;
    for (const auto& [name, want] : c.want) {
      const auto it = got.find(name);
      ASSERT_NE(it, got.end()) << c.what << ": " << name;
      EXPECT_EQ(it->second.table, want.table) << c.what;
      EXPECT_EQ(it->second.position, want.position) << c.what;
      EXPECT_EQ(it->second.columns, want.columns) << c.what;
    }
  }
}

}  // namespace
}  // namespace relalg_sql

namespace relalg_sql {
namespace {

TEST(SqlOptions, ReadsTheThreeForms) {
  struct option_case {
    std::vector<std::string> args;
    bool on;
    dialect d;
    bool query_only;
    std::string error;
  };
  const std::vector<option_case> cases = {
      {{"--sql"}, true, dialect::sqlite, false, ""},
      {{"--sql=postgres"}, true, dialect::postgres, false, ""},
      {{"--sql-query-only", "--sql=duckdb"}, true, dialect::duckdb, true, ""},
      {{"--sql=mysql"}, false, dialect::sqlite, false, "--sql takes sqlite, postgres or duckdb, not 'mysql'"},
      {{"--sql="}, false, dialect::sqlite, false, "--sql takes sqlite, postgres or duckdb, not ''"},
  };
  for (const option_case& c : cases) {
    sql_options o;
    std::string error;
    for (const std::string& a : c.args) EXPECT_TRUE(read_sql_option(a, o, error)) << a;
    EXPECT_EQ(o.on, c.on) << c.args[0];
    EXPECT_EQ(o.d, c.d) << c.args[0];
    EXPECT_EQ(o.query_only, c.query_only) << c.args[0];
    EXPECT_EQ(error, c.error) << c.args[0];
  }
  sql_options o;
  std::string error;
  EXPECT_FALSE(read_sql_option("--sqlite", o, error));
  EXPECT_FALSE(read_sql_option("--max-rows", o, error));
  EXPECT_FALSE(o.on);
}

}  // namespace
}  // namespace relalg_sql
