// The catalog: every loaded table, by exact name.
#ifndef RELALG_DATABASE_H
#define RELALG_DATABASE_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "table.h"

class database {
 public:
  std::map<std::string, table, std::less<>> tables;

  database() = default;

  // Builds a table from a header line, stores it under its name (replacing
  // any earlier table of that name) and returns the name.
  std::string addtable(std::string header);
  // Appends a row to the named table; an unknown name gets an empty table.
  void addline(std::string name, std::string line);
  // A copy of the named table; an unknown name gets an empty table first.
  table gettable(std::string name);
  bool istable(std::string name) const;

  // Row lines not parsed yet, by table name: views into an input text that
  // the loader's caller keeps alive until materialize() has run.
  std::map<std::string, std::vector<std::string_view>, std::less<>> pending;

  // Parses every pending row line into its table, spreading the work over
  // the machine's cores; rows keep their input order.
  void materialize();

  // The stored table, or nullptr; never creates an entry.
  const table* find(std::string_view name) const;
  table* find(std::string_view name);
};

#endif
