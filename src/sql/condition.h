// The translation of a selection's condition into a SQL boolean expression
// over the cell columns c1, c2, ... of the selected rows. The kinds of the
// operands are known before any row is read (a column holds integers or
// strings throughout, a literal is what it is written as), so relalg's
// comparison rules for an integer against a string become plain SQL
// comparisons, and comparisons of constants are decided here. Only a
// column that mixes kinds needs its kind looked at per row.
#ifndef RELALG_SQL_CONDITION_H
#define RELALG_SQL_CONDITION_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "sql/cells.h"
#include "sql/dialect.h"

namespace relalg_sql {

// The deepest nesting of conditions the translator writes; SQL engines
// limit the depth of the expressions they parse.
constexpr std::size_t max_condition_depth = 400;

// The expression for the condition rooted at node `root` of p, over rows
// whose columns are named `colnames` and read in SQL as `columns` says.
// A mixed column's kind is decided row by row. The condition must hold no
// failing node. Throws refusal when it is nested deeper than
// max_condition_depth. With `readable`, text is compared without a
// collation clause (the columns' own collation compares bytes; see
// readable.h) and a comparison of an integer with a string carries a
// comment that says which rule decides it.
std::string condition_sql(const plan& p, int32_t root, const std::vector<std::string>& colnames,
                          const std::vector<cell_sql>& columns, dialect d, bool readable = false);

// The nesting depth of the condition rooted at `root`, found without
// recursion.
std::size_t condition_depth(const plan& p, int32_t root);

}  // namespace relalg_sql

#endif
