// The two row relations every operator that orders or matches rows uses:
// the total row order (cell by cell, a shorter prefix first) and row
// equality (same width, pairwise equal cells).
#ifndef RELALG_ENGINE_ROW_ORDER_H
#define RELALG_ENGINE_ROW_ORDER_H

#include <algorithm>
#include <cstdint>

#include "engine/cell.h"

inline int ref_order(const rowref& x, const rowref& y) {
  const uint32_t n = std::min(x.w, y.w);
  for (uint32_t i = 0; i < n; ++i) {
    const int c = cell_cmp(x.c[i], y.c[i]);
    if (c != 0) return c;
  }
  return (x.w > y.w) - (x.w < y.w);
}

inline bool ref_less(const rowref& x, const rowref& y) { return ref_order(x, y) < 0; }

inline bool ref_equal(const rowref& x, const rowref& y) {
  if (x.w != y.w) return false;
  for (uint32_t i = 0; i < x.w; ++i) {
    if (!cell_eq(x.c[i], y.c[i])) return false;
  }
  return true;
}

#endif
