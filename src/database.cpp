// The catalog's operations, over the engine's table store.
#include "database.h"

#include "engine/row_text.h"

std::string database::addtable(std::string header) {
  header_line h = parse_header(header);
  std::string name = h.name;
  tables.insert_or_assign(name, stored_table(std::move(h.name), std::move(h.colnames),
                                             std::move(h.coltypes)));
  return name;
}

void database::addline(std::string name, std::string line) { tables[name].add_row(line); }

table database::gettable(std::string name) {
  stored_table& s = tables[name];
  s.parse_pending();
  table t;
  t.name = s.name;
  t.colnames = s.colnames;
  t.coltypes = s.coltypes;
  for (std::size_t i = 0; i < s.row_count(); ++i) {
    const rowref r = s.row(i);
    row values;
    values.reserve(r.w);
    for (uint32_t k = 0; k < r.w; ++k) values.push_back(r.c[k].value());
    t.rows.push_back(std::move(values));
  }
  return t;
}

bool database::istable(std::string name) const { return tables.find(name) != tables.end(); }

const stored_table* database::find(std::string_view name) const {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}

stored_table* database::find(std::string_view name) {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}
