// The one open-addressing table the engine hashes with: 64-bit slots, each
// a 32-bit hash (or key) above a 32-bit position + 1, 0 marking a free
// slot, probed linearly from a start the caller gives. It is sized for
// what is expected and doubles when half full, so a few entries among many
// lookups stay in cache. Repeats are found with it (row_hash.h), texts
// numbered (stream_sets.cpp) and join partners looked up (op_join.cpp).
#ifndef RELALG_ENGINE_SLOT_TABLE_H
#define RELALG_ENGINE_SLOT_TABLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

class slot_table {
 public:
  static constexpr uint32_t kAdded = UINT32_MAX;  // find_or_add stored the position
  static constexpr uint32_t kNone = UINT32_MAX;   // peek found no likely match

  // Room for `expect` entries without growing.
  explicit slot_table(std::size_t expect = 8) {
    std::size_t cap = 16;
    while (cap < 2 * expect) cap *= 2;
    slots_.assign(cap, 0);
  }

  std::size_t size() const { return count_; }

  // The position stored earlier under hash h that same(position) accepts;
  // or kAdded after storing pos under h.
  template <class Same>
  uint32_t find_or_add(uint32_t h, uint32_t pos, const Same& same) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
      const uint64_t v = slots_[s];
      if (v == 0) {
        slots_[s] = entry(h, pos);
        ++count_;
        return kAdded;
      }
      if (static_cast<uint32_t>(v >> 32) == h && same(static_cast<uint32_t>(v) - 1)) {
        return static_cast<uint32_t>(v) - 1;
      }
    }
  }

  // Stores pos under `key`, probing from `start` (which may differ from
  // the key, as for keys spread before they are placed); entries of one
  // key are all kept.
  void add(uint32_t start, uint32_t key, uint32_t pos) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = start & mask;
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = entry(key, pos);
    ++count_;
  }

  // Calls fn(key, position) for the entries from `start` up to the first
  // free slot: those stored under that start, among others.
  template <class Fn>
  void probe(uint32_t start, Fn&& fn) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = start & mask;; s = (s + 1) & mask) {
      const uint64_t v = slots_[s];
      if (v == 0) return;
      fn(static_cast<uint32_t>(v >> 32), static_cast<uint32_t>(v) - 1);
    }
  }

  void prefetch(uint32_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }
  // The position in the first slot a lookup of h tries, if stored under h:
  // the likely match. kNone otherwise.
  uint32_t peek(uint32_t h) const {
    const uint64_t v = slots_[h & (slots_.size() - 1)];
    return v != 0 && static_cast<uint32_t>(v >> 32) == h ? static_cast<uint32_t>(v) - 1 : kNone;
  }

 private:
  static uint64_t entry(uint32_t key, uint32_t pos) {
    return (static_cast<uint64_t>(key) << 32) | (static_cast<uint64_t>(pos) + 1);
  }
  // Doubles the table; an entry moves to the first free slot from its key,
  // so add() with a start other than the key is used only on a table sized
  // for all it will hold.
  void grow() {
    std::vector<uint64_t> old(slots_.size() * 2, 0);
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

#endif
