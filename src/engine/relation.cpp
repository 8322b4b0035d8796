// Building relations from catalog tables, and the storage helpers the
// operators share.
#include "engine/relation.h"

#include <iterator>

relation relation::of(const stored_table& t) {
  relation r;
  r.name = t.name;
  r.colnames = t.colnames;
  r.coltypes = t.coltypes;
  const std::size_t n = t.row_count();
  r.rows.reserve(n);
  for (std::size_t i = 0; i < n; ++i) r.rows.push_back(t.row(i));
  return r;
}

std::shared_ptr<std::vector<cell>> new_cells(std::size_t n) {
  auto store = std::make_shared<std::vector<cell>>();
  store->reserve(n);
  return store;
}

void adopt(relation& to, relation& from) {
  if (to.owners.size() < from.owners.size()) to.owners.swap(from.owners);
  to.owners.insert(to.owners.end(), std::make_move_iterator(from.owners.begin()),
                   std::make_move_iterator(from.owners.end()));
  from.owners.clear();
}
