// The comparisons that a conjunct's own comparisons imply: what holds in
// every total order of its terms that satisfies them (by transitivity, and
// the order of constants). Used to find a map that refutes a case in every
// preorder at once, before laying any out.
#ifndef RELALG_PROVE_IMPLIED_H
#define RELALG_PROVE_IMPLIED_H

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "prove/form.h"

namespace prove {

class implied_order {
 public:
  // Nodes: w's terms (0 onwards), then each of `constants` that is no term
  // of w.
  implied_order(const conjunct& w, const std::vector<value>& constants);

  // Whether r(x, y) holds whenever w's comparisons do. False when it is not
  // implied (it may still hold in some orders).
  bool holds(rel r, int64_t x, int64_t y) const;
  // The node of a constant value, or -1.
  int64_t node_of(const value& v) const;

 private:
  uint8_t at(std::size_t x, std::size_t y) const { return order_[x * n_ + y]; }

  std::size_t n_ = 0;
  std::vector<uint8_t> order_;  // 0 unknown, 1 x <= y, 2 x < y
  std::set<std::pair<int64_t, int64_t>> differ_;
  std::vector<value> values_;   // the constant of each node
  std::vector<bool> constant_;
};

}  // namespace prove

#endif
