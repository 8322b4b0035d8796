// A table assembled field by field, so tests can hold rows of any width and
// any mix of kinds, which the row-line parser never makes.
#ifndef RELALG_TESTS_TABLE_BUILDERS_H
#define RELALG_TESTS_TABLE_BUILDERS_H

#include <string>
#include <utility>
#include <vector>

#include "table.h"

inline table make_table(std::string name, std::vector<std::string> cols,
                        std::vector<std::string> types, std::vector<row> rows) {
  table t;
  t.name = std::move(name);
  t.colnames = std::move(cols);
  t.coltypes = std::move(types);
  for (row& r : rows) t.rows.push_back(std::move(r));
  return t;
}

#endif
