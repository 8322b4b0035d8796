// The SQL names of the loaded tables: each table and column under its own
// name where the dialect can hold it, else under a made-up one, and the
// column that carries each row's position in its table. The script creates
// the tables under these names and the query reads them, so both are built
// from the same catalog by name_tables.
#ifndef RELALG_SQL_NAMES_H
#define RELALG_SQL_NAMES_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sql/dialect.h"

namespace relalg_sql {

// A loaded table as the translator sees it: its name, columns and type words.
struct table_schema {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
};

struct table_names {
  std::string table;                // the SQL table name, unquoted
  std::string position;             // the column holding the row's position (1, 2, ...)
  std::vector<std::string> columns; // one SQL name per column
};

// Names for every table. A table keeps its own name when the dialect can
// hold it and no table before it (in byte order of names) has the same
// name as the dialect compares names; otherwise it is named table_N after
// its place N in that order (table_N_2, table_N_3, ... when that is
// taken). Within a table, columns keep their names by the same rule (a
// later column of a repeated name is the one renamed) and get column_N
// after their position N otherwise; the position column is named
// "#", or "#2", "#3", ... when a column already has that name.
std::map<std::string, table_names, std::less<>> name_tables(dialect d,
                                                            const std::vector<table_schema>& tables);

}  // namespace relalg_sql

#endif
