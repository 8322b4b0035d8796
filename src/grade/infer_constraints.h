// Finding the constraints a teacher's databases all keep, with no
// configuration: the minimal keys, the references into a key column, the
// value sets of text columns that take only a few values, and the tables
// whose rows are written in ascending order.
#ifndef RELALG_GRADE_INFER_CONSTRAINTS_H
#define RELALG_GRADE_INFER_CONSTRAINTS_H

#include <vector>

#include "grade/constraints.h"
#include "grade/instance.h"

namespace grade {

// A table of the first database counts in another one when that one has a
// table of the same name with the same columns (names and kinds); the
// constraints are stated over the first database's schema.
//
// Keys: the minimal sets of at most three columns (all columns when no
// smaller set will do) that no two rows share, in every database; none
// when some table holds a row twice. References: a column T.c whose values
// all appear in a column U.d of the same kind that is a key of U; when that
// holds only for T's rows with V in a few-valued column x, as
// "where x = V" on T's side; when the partners are always U's rows with W
// in a few-valued column y, as "where y = W" on U's side. Value sets: a
// text column with at most five values, each row on average repeating one,
// and an int column holding 0 and 1 alone (a flag), each on two rows on
// average.
// Order: a table of two or more rows, ascending, in every database.
std::vector<constraint> infer_constraints(const std::vector<const typed_source*>& dbs);

// The rows of the table of `dbs[d]` that stands for table t of the first
// database's schema, or null when it has none (see above).
const instance::table_rows* aligned_table(const std::vector<const typed_source*>& dbs, std::size_t d,
                                          std::size_t t);

}  // namespace grade

#endif
