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

// Positions of rows in an open-addressing table keyed by the rows' hashes.
// A slot holds the hash above the position + 1; 0 marks it empty. It starts
// small and doubles, so a few distinct rows among many stay in cache.
class row_set {
 public:
  static constexpr uint32_t kAdded = UINT32_MAX;  // find_or_add stored the row
  static constexpr uint32_t kNone = UINT32_MAX;   // peek found no likely match

  // Sized for `expect` distinct rows at first, so that they go in without
  // the table being rebuilt as it grows.
  explicit row_set(std::size_t expect) {
    std::size_t cap = 16;
    while (cap < 2 * expect) cap *= 2;
    slots_.resize(cap);
  }

  // The position of a row stored earlier that same_as(position) says equals
  // the one with hash h; or kAdded after storing pos for it.
  template <class Same>
  uint32_t find_or_add(uint32_t h, uint32_t pos, const Same& same_as) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
      const uint64_t v = slots_[s];
      if (v == 0) {
        slots_[s] = (static_cast<uint64_t>(h) << 32) | (static_cast<uint64_t>(pos) + 1);
        ++count_;
        return kAdded;
      }
      if (static_cast<uint32_t>(v >> 32) == h) {
        const auto at = static_cast<uint32_t>(v) - 1;
        if (same_as(at)) return at;
      }
    }
  }
  void prefetch(uint32_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }
  // The position in the first slot a lookup of h tries, if its hash is h:
  // the likely match. kNone otherwise.
  uint32_t peek(uint32_t h) const {
    const uint64_t v = slots_[h & (slots_.size() - 1)];
    return v != 0 && static_cast<uint32_t>(v >> 32) == h ? static_cast<uint32_t>(v) - 1 : kNone;
  }

 private:
  void grow() {
    std::vector<uint64_t> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const uint64_t v : old) {
      if (v == 0) continue;
      std::size_t s = (v >> 32) & mask;
      while (slots_[s] != 0) s = (s + 1) & mask;
      slots_[s] = v;
    }
  }

  std::vector<uint64_t> slots_;
  std::size_t count_ = 0;
};

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
