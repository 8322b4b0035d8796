// What both translations (translate.h, readable.h) check of a plan node
// before writing it, with the same messages and places: the failures
// evaluation would raise, and the limits of the dialects. Also the rules
// for columns that both follow.
#ifndef RELALG_SQL_CHECKS_H
#define RELALG_SQL_CHECKS_H

#include <cstddef>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "sql/dialect.h"
#include "sql/refusal.h"

namespace relalg_sql {

// The header line of a result table as relalg prints it, without the line
// feed: NAME(col type, col type).
std::string header_line(const std::string& name, const std::vector<std::string>& colnames,
                        const std::vector<std::string>& coltypes);

// The longest chain of nested operations in the plan, found without
// recursion.
std::size_t plan_depth(const plan& p);

// Throws refusal when node n, `depth` operations deep counted from its
// leaves, is nested deeper than the dialect's SQL is written, or its result
// has more columns than a table or select list of the dialect holds.
void check_size(const plan_node& n, std::size_t depth, std::size_t columns, dialect d,
                const std::string& table_name);

// Throws evaluation's refusal of a product whose operands share a column
// name or repeat one. Otherwise returns the product's column layout: for
// each result column, in byte order of the names, its place among a's
// columns followed by b's.
std::vector<std::size_t> product_layout(const plan_node& n, const std::vector<std::string>& a,
                                        const std::vector<std::string>& b);

// Throws evaluation's refusal of a renaming list too short for the columns.
void check_rename(const plan_node& n, std::size_t columns, std::size_t names);

// Throws evaluation's refusal of a projection of a table without columns.
void check_project(const plan& p, const plan_node& n, std::size_t columns);

// Throws evaluation's refusal of a selection whose condition holds a text
// that is not a predicate.
void check_condition(const plan& p, const plan_node& n);

// Throws the refusal of a union of operands of different widths.
void check_union(const plan_node& n, std::size_t a, std::size_t b);

// The column a listed name projects onto: the last of that name, else the
// first column. The table must have columns.
std::size_t projected_column(const std::vector<std::string>& colnames, const std::string& name);

}  // namespace relalg_sql

#endif
