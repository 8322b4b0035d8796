// Finding repeated rows by hashing: the hash of a row (equal rows hash
// alike, the integer 0 and the empty text as one value), an open-addressing
// set of row positions, and the passes that keep the first of each set of
// equal rows, on two threads for many rows. Repeats are dropped this way
// before anything is sorted, so a result with few distinct rows sorts only
// those.
#ifndef RELALG_ENGINE_ROW_HASH_H
#define RELALG_ENGINE_ROW_HASH_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/cell.h"
#include "engine/slot_table.h"

// How a row is seen when rows are compared for repeats: whole, or cut to a
// list of positions without building the cut rows first.
struct whole_row {
  uint32_t width(const rowref& r) const { return r.w; }
  const cell& at(const rowref& r, uint32_t k) const { return r.c[k]; }
};
struct cut_row {
  static inline const cell kZero = cell::of_int(0);
  const std::vector<int>& idx;
  uint32_t width(const rowref&) const { return static_cast<uint32_t>(idx.size()); }
  // A position the row lacks reads as the integer 0.
  const cell& at(const rowref& r, uint32_t k) const {
    const auto i = static_cast<uint32_t>(idx[k]);
    return i < r.w ? r.c[i] : kZero;
  }
};

inline uint64_t hash_text(const char* s, std::size_t n) {
  uint64_t h = n * 0x9E3779B97F4A7C15ULL;
  for (; n >= 8; s += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, s, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, s, n);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 29;
  }
  return h;
}

// Equal cells hash alike; the integer 0 and the empty text are one value.
inline uint64_t hash_cell(const cell& c) {
  if (c.is_int() || c.n == 0) return (static_cast<uint32_t>(c.ival()) + 1ULL) * 0x9E3779B97F4A7C15ULL;
  return hash_text(c.s, c.n);
}

template <class View>
uint32_t hash_row(const rowref& r, const View& view) {
  const uint32_t w = view.width(r);
  uint64_t h = w;
  for (uint32_t k = 0; k < w; ++k) {
    h = (h ^ hash_cell(view.at(r, k))) * 0xD6E8FECA66D9E7A5ULL;
    h ^= h >> 31;
  }
  h *= 0x94D049BB133111EBULL;
  return static_cast<uint32_t>(h >> 32);
}

template <class View>
bool same_row(const rowref& x, const rowref& y, const View& view) {
  const uint32_t w = view.width(x);
  if (w != view.width(y)) return false;
  for (uint32_t k = 0; k < w; ++k) {
    if (!cell_eq(view.at(x, k), view.at(y, k))) return false;
  }
  return true;
}

// Positions of rows, keyed by the rows' hashes.
using row_set = slot_table;

// Keeps the first of every set of equal rows, in their given order, and
// drops the others. With `drop`, rows equal to a row of drop go as well.
void keep_first_of_each(std::vector<rowref>& rows, const std::vector<rowref>* drop = nullptr);

// The distinct rows of rows cut to the positions idx (a position a row
// lacks reads as the integer 0), first of each kept, each cut into cells of
// its own: stores made here and added to owners. The rows come back in no
// particular order.
std::vector<rowref> distinct_cuts(const std::vector<rowref>& rows, const std::vector<int>& idx,
                                  std::vector<std::shared_ptr<const void>>& owners);

#endif
