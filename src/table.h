// A named relation held by value: its name, its columns with their type
// words, and its rows of values. Its header and row parsers, its printed
// form, and the relational operators over tables, which run the engine's
// operators (engine/operators.h) on views of their operands.
#ifndef RELALG_TABLE_H
#define RELALG_TABLE_H

#include <cstddef>
#include <functional>
#include <list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/relation.h"
#include "engine/vector_ops.h"
#include "t_object.h"

using row = std::vector<t_object>;

class table {
 public:
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::list<row> rows;

  std::string getname() const { return name; }

  // Parses a header line "NAME(col type, ...)": sets the name and appends
  // the columns. A line without "(" is all name and defines no columns.
  void def(std::string line);

  // Parses one row line and appends the row.
  void newline(std::string line);

  // What newline does, without copying the line first.
  void append_row(std::string_view line);
};

// Views of t's rows and values as a relation; t must outlive it and stay
// unchanged.
relation relation_of(const table& t);
// A table holding copies of r's rows.
table table_of(const relation& r);

// Writes the header line and one line per row, each ended by "\n".
std::ostream& operator<<(std::ostream& out, const table& t);

// Appends the printed form of t to buf. Whenever buf grows past chunk bytes
// it is handed to spill, which must consume and clear it, so a large table
// streams out in chunks; what is left at the end stays in buf.
void print_table(const table& t, std::string& buf,
                 const std::function<void(std::string&)>& spill,
                 std::size_t chunk = 1 << 20);

// Rows compare lexicographically by cell_order; equal rows have the same
// width and pairwise == cells.
int row_order(const row& x, const row& y);
bool row_equal(const row& x, const row& y);

// Sorts rows ascending with a stable sort and keeps the first row of every
// run of equal rows.
void sort_and_collapse(std::list<row>& rows);

class logic;
table operator+(const table& a, const table& b);  // union
table operator-(const table& a, const table& b);  // difference
table operator*(const table& a, const table& b);  // Cartesian product, no row limit
table project(const table& t, const std::vector<std::string>& cols);
table rename(const table& t, const std::vector<std::string>& names);
table select(const table& t, const std::string& condition);
table select(const table& t, const logic& condition);

#endif
