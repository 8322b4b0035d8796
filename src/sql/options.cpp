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
    "                with --sql, write only the query's SELECT statement\n"
    "  --sql-form=FORM\n"
    "                readable (the default: joins, named steps, the columns'\n"
    "                own names) or positional (a subquery per operation,\n"
    "                columns c1, c2, ...)\n";

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
  if (arg.substr(0, 11) == "--sql-form=") {
    const std::string_view form = arg.substr(11);
    if (form == "readable" || form == "positional") {
      o.on = true;
      o.positional = form == "positional";
    } else {
      error = "--sql-form takes readable or positional, not '" + std::string(form) + "'";
    }
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
