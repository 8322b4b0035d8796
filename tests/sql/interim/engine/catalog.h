// Stands in for the engine's catalog header until it is on this branch: a
// loaded table as the parsed plan's table nodes point at it.
#ifndef RELALG_ENGINE_CATALOG_H
#define RELALG_ENGINE_CATALOG_H

#include <string>
#include <vector>

#include "table.h"

struct stored_table {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<row> rows;
};

#endif
