// The loaded tables, each held once in the form evaluation reads: its
// header and its rows as cells. A table's row lines may stay unparsed (a
// view of the input text) until they are needed, so that a query that only
// names a table prints it straight from its lines, and so that a large
// input's rows are parsed on two threads at once (loader.h).
//
// Copies of a table share its rows, which nothing changes once they are
// read; adding a row to a shared table first gives it rows of its own.
#ifndef RELALG_ENGINE_CATALOG_H
#define RELALG_ENGINE_CATALOG_H

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cell.h"

class stored_table {
 public:
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;

  stored_table() = default;
  stored_table(std::string name, std::vector<std::string> colnames,
               std::vector<std::string> coltypes);

  std::size_t width() const { return colnames.size(); }
  // The number of rows, parsed or not.
  std::size_t row_count() const;
  // Row i's cells (width() of them); the table must be parsed.
  rowref row(std::size_t i) const;

  // Row lines not parsed yet, one run of lines separated by "\n" that
  // stays alive elsewhere until the table is parsed (and, since the cells
  // then view it, for as long as the table lives).
  std::string_view pending() const { return pending_; }
  void set_pending(std::string_view lines);
  // The pending lines, no longer pending: the caller parses them into the
  // room extend() makes.
  std::string_view take_pending();
  bool parsed() const { return pending_.empty(); }

  // Parses the pending lines on this thread.
  void parse_pending();
  // Makes room for `rows` more rows to be written at row_count() onwards by
  // the caller (the loader's parallel parse), and returns where they go.
  cell* extend(std::size_t rows);

  // Parses a row line and appends the row; the line's bytes are copied and
  // kept with the table.
  void add_row(std::string_view line);

 private:
  struct rows_data {
    cell_array cells;  // capacity rows of width cells; the first `rows` are written
    std::size_t rows = 0;
    std::size_t capacity = 0;
    std::deque<std::string> texts;  // bytes that copied rows' cells view
  };
  rows_data& own_rows();
  cell* room_for(rows_data& d, std::size_t more);

  std::shared_ptr<rows_data> rows_;
  std::string_view pending_;
};

using table_map = std::map<std::string, stored_table, std::less<>>;

#endif
