// The command-line options that ask for SQL instead of a result:
// --sql, --sql=DIALECT, --sql-query-only and --sql-form=FORM.
#ifndef RELALG_SQL_OPTIONS_H
#define RELALG_SQL_OPTIONS_H

#include <string>
#include <string_view>

#include "sql/dialect.h"

namespace relalg_sql {

struct sql_options {
  bool on = false;          // write SQL instead of evaluating
  dialect d = dialect::sqlite;
  bool query_only = false;  // the SELECT alone
  bool positional = false;  // the former form: a subquery per operation, columns c1, c2, ...
};

// Reads one command-line argument into o. Returns false when it is none of
// the SQL options; when it is one with an unknown dialect or form, returns
// true and sets `error` to the message. --sql-query-only and --sql-form
// imply --sql.
bool read_sql_option(std::string_view arg, sql_options& o, std::string& error);

// The lines --help gives the options.
extern const char* const sql_help;

}  // namespace relalg_sql

#endif
