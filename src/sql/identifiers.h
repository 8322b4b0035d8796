// Names as the readable translation writes them: bare where every dialect
// reads a bare name as the same name (lower-case letters, digits and
// underscores, not a keyword), quoted otherwise; and the registry that
// gives each step and each table alias of a statement a name of its own.
#ifndef RELALG_SQL_IDENTIFIERS_H
#define RELALG_SQL_IDENTIFIERS_H

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sql/dialect.h"

namespace relalg_sql {

// The name as it stands in a statement: bare when it may, else quoted.
std::string ident(std::string_view name);

// Names of one statement, unique as the dialect compares names.
class name_registry {
 public:
  explicit name_registry(dialect d) : d_(d) {}
  // Marks a name as in use.
  void reserve(std::string_view name);
  // The wanted name if the dialect can hold it and it is free, else the
  // first free of wanted_2, wanted_3, ... (of `fallback` when the dialect
  // cannot hold the wanted name); marked as in use.
  std::string claim(std::string_view wanted, std::string_view fallback);

 private:
  dialect d_;
  std::set<std::string> taken_;  // folded
};

// Column names for a step's columns: each its relalg name where the
// dialect can hold it and no earlier column took it, else column_N after
// its position N; `taken` (folded names) receives them.
std::vector<std::string> step_column_names(dialect d, const std::vector<std::string>& wanted,
                                           std::set<std::string>& taken);

}  // namespace relalg_sql

#endif
