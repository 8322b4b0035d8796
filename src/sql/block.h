// One SELECT of the readable translation while it is being built: the
// tables and steps it reads (FROM, JOIN ... ON), the conditions it tests
// (WHERE, in the order written), the columns it yields, and the order of
// its rows. Selections, projections, renamings and products fold into the
// SELECT of their operand, as a person would write them; the conditions
// are written only when the SELECT is, with the aliases the items have
// then, so that a renaming can still give an item its new name.
#ifndef RELALG_SQL_BLOCK_H
#define RELALG_SQL_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "sql/cells.h"
#include "sql/dialect.h"

namespace relalg_sql {

// A column of a FROM item: its SQL name (the integer part of a mixed
// column) and, for a mixed column, its text part.
struct col_ref {
  std::size_t item = 0;
  std::string name;
  std::string text_name;
  kind k = kind::integer;
};

// A selection's condition, or one conjunct of it, with the columns its
// names read (a name reads the last column of that name).
struct condition_part {
  int32_t root = -1;
  std::vector<std::string> colnames;
  std::vector<col_ref> columns;
  std::size_t item = 0;  // for a join equality: the item whose ON holds it
};

struct from_item {
  std::string source;  // the table's or step's SQL name
  std::string alias;
};

struct block {
  std::vector<from_item> items;
  std::vector<condition_part> on;     // JOIN ... ON equalities
  std::vector<condition_part> where;  // the other conditions, in the order written
  std::vector<col_ref> cols;
  bool distinct = false;  // SELECT DISTINCT
  // Rows in the order of `position` (a table's row positions), or else
  // sorted by their cells in relalg's order.
  bool keyed = false;
  col_ref position;
  std::size_t condition_depth = 0;  // the depths of its conditions added up
};

// A column as SQL reads it in the block: alias.name.
cell_sql cell_of(const block& b, const col_ref& c);

// One output column of a SELECT: the expression and, when not empty, the
// name it is given.
struct output_column {
  std::string sql;
  std::string name;
};

// The SELECT of the block with this select list (a constant when it is
// empty), its lines indented by `indent` blanks, without a final line
// feed; DISTINCT when `distinct`.
std::string render_select(const plan& p, const block& b, const std::vector<output_column>& list, bool distinct,
                          dialect d, std::size_t indent);

// The select list that yields every column of the block (both parts of a
// mixed column), named `names` (and `text_names` for mixed ones).
std::vector<output_column> cells_named(const block& b, const std::vector<std::string>& names,
                                       const std::vector<std::string>& text_names);

}  // namespace relalg_sql

#endif
