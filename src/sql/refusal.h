// Why a query has no SQL form, as an error that carries the part of the
// query line it is about; and the SQL names of the loaded tables that every
// translation reads.
#ifndef RELALG_SQL_REFUSAL_H
#define RELALG_SQL_REFUSAL_H

#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "engine/plan.h"
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

}  // namespace relalg_sql

#endif
