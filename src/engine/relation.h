// Relations as evaluation passes them between operators: a header and rows
// by address, so that no operator copies a row it only reorders, filters or
// renames, and no value is copied at all. The cells live in the catalog,
// which outlives evaluation, or in storage that `owners` keeps alive.
#ifndef RELALG_ENGINE_RELATION_H
#define RELALG_ENGINE_RELATION_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog.h"
#include "engine/cell.h"

struct relation {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<rowref> rows;
  std::vector<std::shared_ptr<const void>> owners;
  // The rows are ascending and no two are equal, as the sort-and-collapse
  // step leaves them.
  bool sorted = false;

  // Views of a parsed catalog table's rows; t must outlive the relation.
  static relation of(const stored_table& t);
};

// Storage for cells an operator makes, with room for n; callers append no
// more than that, so the addresses handed out stay valid.
std::shared_ptr<std::vector<cell>> new_cells(std::size_t n);

// Gives `to` the owners of `from` as well. The longer list is kept and the
// shorter appended, so a deep chain of operators does not copy its owners
// at every level.
void adopt(relation& to, relation& from);

#endif
