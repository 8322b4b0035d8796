// Reading the SQL options of the command line.
#include "sql/options.h"

namespace relalg_sql {

const char* const sql_help =
    "  --sql[=DIALECT]\n"
    "                instead of evaluating, write a SQL script that creates\n"
    "                the tables and runs the query; DIALECT is sqlite (the\n"
    "                default), postgres or duckdb; OUTPUT defaults to standard\n"
    "                output\n"
    "  --sql-query-only\n"
    "                with --sql, write only the query's SELECT statement\n";

bool read_sql_option(std::string_view arg, sql_options& o, std::string& error) {
  if (arg == "--sql") {
    o.on = true;
    return true;
  }
  if (arg == "--sql-query-only") {
    o.on = true;
    o.query_only = true;
    return true;
  }
  if (arg.substr(0, 6) == "--sql=") {
    const std::string_view name = arg.substr(6);
    if (const auto d = dialect_named(name)) {
      o.on = true;
      o.d = *d;
    } else {
      error = "--sql takes sqlite, postgres or duckdb, not '" + std::string(name) + "'";
    }
    return true;
  }
  return false;
}

}  // namespace relalg_sql
