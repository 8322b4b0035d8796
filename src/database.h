// The catalog: every loaded table, by exact name.
#ifndef RELALG_DATABASE_H
#define RELALG_DATABASE_H

#include <map>
#include <memory>
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

  // Row lines not parsed yet, by table name: each table's lines as one run
  // of an input text (lines separated by "\n") that the loader's caller
  // keeps alive until materialize() has run.
  std::map<std::string, std::string_view, std::less<>> pending;

  // Tables whose rows were loaded by materialize(): their cells, views into
  // the input text, by table name. Such a table's own `rows` stay empty.
  std::map<std::string, std::shared_ptr<const cell_block>, std::less<>> blocks;

  // Parses every pending row line into cells of its table's block, spreading
  // the work over two threads; rows keep their input order. The input text
  // must outlive the catalog.
  void materialize();

  // The stored table, or nullptr; never creates an entry.
  const table* find(std::string_view name) const;
  table* find(std::string_view name);
};

#endif
