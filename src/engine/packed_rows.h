// Rows coded as one 64-bit key each, for the join's result: every column of
// the result is one column of one joined leaf, so it can be coded once per
// leaf row (an integer by its offset from the column's least value, a text
// by its rank among the column's distinct texts, in byte order). A result
// row's key is then the OR of its leaves' parts, the keys order as the rows
// do, and sorting and collapsing the result is sorting integers.
#ifndef RELALG_ENGINE_PACKED_ROWS_H
#define RELALG_ENGINE_PACKED_ROWS_H

#include <cstdint>
#include <vector>

#include "engine/cell.h"
#include "engine/relation.h"

// A column of the result: column `col` of leaf `leaf`.
struct packed_source {
  uint32_t leaf;
  uint32_t col;
};

class row_packer {
 public:
  // Codes the result's columns. Every leaf row has full width and every
  // leaf column holds one kind (so rows that are equal print alike). False,
  // having kept nothing, when the codes need more than 64 bits together.
  bool code(const std::vector<relation>& leaves, const std::vector<packed_source>& columns);

  // The parts of the key that leaf l's rows give, by row; null for a leaf
  // no column of the result comes from.
  const uint64_t* parts(uint32_t leaf) const {
    return leaf < parts_.size() && !parts_[leaf].empty() ? parts_[leaf].data() : nullptr;
  }

  // The rows of the keys, ascending and each once; keys is consumed. The
  // cells are copies of the leaves' cells, so `out` must adopt the leaves.
  void rows_of(std::vector<uint64_t>& keys, relation& out) const;

 private:
  struct column {
    bool is_int = true;
    int64_t least = 0;
    unsigned bits = 0;
    unsigned shift = 0;
    std::vector<cell> texts;  // by rank
  };
  std::vector<column> columns_;
  std::vector<std::vector<uint64_t>> parts_;  // by leaf, by row
};

#endif
