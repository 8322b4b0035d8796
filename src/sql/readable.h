// The readable translation of a parsed query, the default of --sql: one
// SQL statement whose rows, in the order it returns them, are the query's
// result rows in relalg's order, written as a person would write it.
//
// Selections, projections, renamings and products fold into one SELECT
// over the tables they read: each table under its own name (or a renaming's
// new name) as its alias, a selection over a product as JOIN ... ON for its
// equalities between the operands and WHERE for the rest of its
// conditions, in the order written; a projection as the SELECT DISTINCT
// list. Union and difference, and a SELECT that would grow too large,
// become named steps of a WITH clause, each under a comment holding the
// operation as written. Text compares and sorts by its bytes through the
// columns' own collation (the script creates the text columns so), so no
// COLLATE clause is needed; relalg's own rules (an integer against a
// string, the integer 0 equal to the empty string in a column that mixes
// both) stand in small expressions with a comment that says so.
#ifndef RELALG_SQL_READABLE_H
#define RELALG_SQL_READABLE_H

#include <string>

#include "engine/plan.h"
#include "sql/dialect.h"
#include "sql/refusal.h"

namespace relalg_sql {

// The statement for the plan's root: a comment line "-- result: HEADER"
// (bytes below 32 and 127 shown as \xHH), then the statement, ended by ";"
// and a line feed. Throws refusal, with the same messages and places as
// the positional translation (translate.h).
std::string translate_readable(const plan& p, const catalog_names& names, dialect d);

}  // namespace relalg_sql

#endif
