// The command-line options that ask for SQL instead of a result:
// --sql, --sql=DIALECT and --sql-query-only.
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
};

// Reads one command-line argument into o. Returns false when it is none of
// the SQL options; when it is one with an unknown dialect, returns true
// and sets `error` to the message. --sql-query-only implies --sql.
bool read_sql_option(std::string_view arg, sql_options& o, std::string& error);

// The lines --help gives the options.
extern const char* const sql_help;

}  // namespace relalg_sql

#endif
