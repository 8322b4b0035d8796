// The SQL script for a query: every loaded table created and filled, then
// the query's SELECT; or the SELECT alone. This is what --sql writes.
#ifndef RELALG_SQL_SCRIPT_H
#define RELALG_SQL_SCRIPT_H

#include <functional>
#include <string>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"
#include "sql/dialect.h"
#include "sql/names.h"

namespace relalg_sql {

// The schemas of the loaded tables, as name_tables takes them.
std::vector<table_schema> schemas_of(const table_map& tables);

// Writes the script for plan p over the loaded tables (all parsed): the
// dialect's opening lines, then in one transaction a CREATE TABLE and
// INSERTs for each table (in byte order of names), then the query's statement
// (translate_readable, or with `positional` translate_query). With
// query_only, only the statement. The text goes to
// `out` in pieces; `out` must consume and clear the string it is given.
// Nothing is written when the query is refused (refusal) or a value cannot
// be held by the dialect (std::runtime_error naming the table, row and
// column): both are raised before the first piece.
void write_script(const plan& p, const table_map& tables, dialect d, bool query_only,
                  const std::function<void(std::string&)>& out, bool positional = true);

}  // namespace relalg_sql

#endif
