// The translation of a parsed query into one SQL SELECT statement whose
// rows, in the order it returns them, are the query's result rows in
// relalg's order. The statement reads the loaded tables as the script
// (script.h) creates them, under the names name_tables gives.
#ifndef RELALG_SQL_TRANSLATE_H
#define RELALG_SQL_TRANSLATE_H

#include <map>
#include <stdexcept>
#include <string>

#include "engine/plan.h"
#include "sql/dialect.h"
#include "sql/names.h"

namespace relalg_sql {

// A query that has no SQL form: either evaluating it fails (the message is
// evaluation's own, such as a product of operands that share a column
// name) or its result cannot be held or computed exactly by the dialect
// (such as a union of operands of different widths). `span` is the part of
// the query line that the message is about.
class refusal : public std::runtime_error {
 public:
  refusal(const std::string& message, source_span where)
      : std::runtime_error(message), span(where) {}
  source_span span;
};

using catalog_names = std::map<std::string, table_names, std::less<>>;

// The header line of a result table as relalg prints it, without the line
// feed: NAME(col type, col type).
std::string header_line(const std::string& name, const std::vector<std::string>& colnames,
                        const std::vector<std::string>& coltypes);

// The statement for the plan's root: a comment line "-- result: HEADER"
// (bytes below 32 and 127 shown as \xHH) and the SELECT, ended by ";" and
// a line feed. Throws refusal.
std::string translate_query(const plan& p, const catalog_names& names, dialect d);

}  // namespace relalg_sql

#endif
