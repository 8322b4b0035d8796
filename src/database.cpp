#include "database.h"

std::string database::addtable(std::string header) {
  table t;
  t.def(std::move(header));
  std::string name = t.getname();
  tables.insert_or_assign(name, std::move(t));
  return name;
}

void database::addline(std::string name, std::string line) {
  tables[name].newline(std::move(line));
}

table database::gettable(std::string name) { return tables[name]; }

bool database::istable(std::string name) const { return tables.find(name) != tables.end(); }

const table* database::find(std::string_view name) const {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}

table* database::find(std::string_view name) {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}
