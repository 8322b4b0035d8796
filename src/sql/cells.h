// How a column's cells stand in SQL. A column holds integers or strings
// throughout, or, after a union of operands whose kinds differ, some of
// each: such a mixed column is carried in two SQL columns, the integer
// cN and the text tN, exactly one of them not NULL in each row. These are
// the expressions that compare, sort and print cells the way relalg does,
// whatever their kind.
#ifndef RELALG_SQL_CELLS_H
#define RELALG_SQL_CELLS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sql/dialect.h"

namespace relalg_sql {

enum class kind : uint8_t { integer, text, mixed };

// The SQL names of cell column i (counted from 0): the column, or the
// integer part of a mixed column; and the text part of a mixed column.
std::string cell_column(std::size_t i);
std::string text_part(std::size_t i);

// One cell as SQL reads it: `c` the column (the integer part when mixed),
// `t` the text part of a mixed cell.
struct cell_sql {
  kind k = kind::integer;
  std::string c;
  std::string t;
};
cell_sql cell_at(kind k, std::size_t i, const std::string& qual);

// The select list of all cell columns of a row of these kinds, each name
// prefixed by `qual`; a row without columns is carried by a constant
// column z so that every subquery selects something.
std::string cell_list(const std::vector<kind>& kinds, const std::string& qual);

// A cell written as cell column i of kind `to` (its own kind, or mixed).
std::string cell_as(const cell_sql& from, kind to, std::size_t i, dialect d);

// The two fields relalg compares for equality: the integer (0 in a
// string) and the text (empty in an integer).
std::pair<std::string, std::string> fields(const cell_sql& x, dialect d);

// Whether two cells are equal as relalg compares them.
std::string cells_equal(const cell_sql& x, const cell_sql& y, dialect d);

// The ORDER BY terms that sort cells of a column by relalg's order: by
// value within one kind; across kinds negative integers, then the integer
// 0 and the empty string as one, then positive integers, then non-empty
// strings in byte order.
std::vector<std::string> sort_terms(const cell_sql& x, dialect d);

// The cell as relalg prints it (a mixed cell as text).
std::string printed(const cell_sql& x, dialect d);

// The strings joined by ", ".
std::string joined(const std::vector<std::string>& v);

// Of the rows `inner` selects (cells of these kinds, and the columns that
// order them), one of each set of equal rows: the first by `order`, terms
// over the rows of `inner` as u.
std::string first_of_equal(const std::vector<kind>& kinds, const std::string& inner,
                           const std::vector<std::string>& order, dialect d);

// Whether some column mixes kinds.
bool any_mixed(const std::vector<kind>& kinds);

}  // namespace relalg_sql

#endif
