// The catalog: every loaded table, by exact name, held once in the form the
// engine evaluates (engine/catalog.h).
#ifndef RELALG_DATABASE_H
#define RELALG_DATABASE_H

#include <string>
#include <string_view>

#include "engine/catalog.h"
#include "table.h"

class database {
 public:
  table_map tables;

  database() = default;

  // Builds a table from a header line, stores it under its name (replacing
  // any earlier table of that name) and returns the name.
  std::string addtable(std::string header);
  // Appends a row to the named table; an unknown name gets an empty table.
  void addline(std::string name, std::string line);
  // A copy of the named table with its rows; an unknown name gets an empty
  // table first.
  table gettable(std::string name);
  bool istable(std::string name) const;

  // The stored table, or nullptr; never creates an entry.
  const stored_table* find(std::string_view name) const;
  stored_table* find(std::string_view name);
};

#endif
