// Stands in for the engine's catalog header until it is on this branch: a
// loaded table as the parsed plan's table nodes point at it, with the
// members the SQL writer reads.
#ifndef RELALG_ENGINE_CATALOG_H
#define RELALG_ENGINE_CATALOG_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "engine/cell.h"

class stored_table {
 public:
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<cell> cells;  // row_count() runs of width() cells
  std::size_t rows = 0;

  std::size_t width() const { return colnames.size(); }
  std::size_t row_count() const { return rows; }
  rowref row(std::size_t i) const {
    return {cells.data() + i * width(), static_cast<uint32_t>(width())};
  }
};

using table_map = std::map<std::string, stored_table, std::less<>>;

#endif
