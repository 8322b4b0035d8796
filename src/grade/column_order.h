// Comparing two results whatever the order of their columns (grading's
// --any-column-order): the submission's columns are matched to the
// reference's by name when its column names are the reference's, each
// once, in another order (and then only in that order), else by their
// values, as whatever permutation makes the rows the same. The header is
// free, as with --rows-only; rows are compared as printed. A result whose
// rows are all distinct is compared as a set, since the order of a sorted
// result follows its columns; one with repeated rows keeps its order.
#ifndef RELALG_GRADE_COLUMN_ORDER_H
#define RELALG_GRADE_COLUMN_ORDER_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "grade/engine_adapter.h"

namespace grade {

struct column_match {
  // For each column of the reference, the submission's column in its place.
  std::vector<std::size_t> from;
  bool by_name = false;  // matched by the columns' names
};

// How the submission's columns can be put in the reference's order so
// that the two results are the same, or nothing. Both must have a result.
std::optional<column_match> match_columns(const evaluation& ref, const evaluation& sub);

}  // namespace grade

#endif
