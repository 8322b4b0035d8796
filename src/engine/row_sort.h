// The sort-and-collapse step on rows given by address.
#ifndef RELALG_ENGINE_ROW_SORT_H
#define RELALG_ENGINE_ROW_SORT_H

#include <vector>

#include "engine/cell.h"

// Sorts rows ascending by the row order; of every set of equal rows only
// the first (in the given order) stays. With `distinct` the caller
// promises there are no equal rows, and the collapse is skipped.
void sort_unique(std::vector<rowref>& rows, bool distinct = false);

#endif
