// A parsed condition compiled against one column layout: every column name
// is resolved to a position once, so a row is tested straight on its cells
// without building a binding. A name the layout lacks reads as the integer
// 0; when several columns share a name, the last one the row reaches is
// read. The answer is the one the row-binding evaluation gives.
//
// NOT, AND and OR are compiled away: the comparisons are laid out in the
// order the condition reads them, each with the comparison to test next
// when it holds and when it does not (or the final answer), the jumps that
// short-circuit evaluation makes. A row is tested by a loop over them, so a
// condition of any depth and shape, nested on the left or the right, costs
// no stack to compile or to test.
#ifndef RELALG_ENGINE_PREDICATE_H
#define RELALG_ENGINE_PREDICATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cell.h"
#include "engine/plan.h"

class bound_predicate {
 public:
  // tree.nodes[root] and its descendants; the tree's literals must outlive
  // this.
  bound_predicate(const cond_tree& tree, int32_t root, const std::vector<std::string>& colnames);
  bool test(const cell* row, uint32_t width) const {
    auto none = [](int32_t) {};
    return run(row, width, none);
  }
  bool test(const rowref& r) const { return test(r.c, r.w); }
  // As test(), also calling read(position) for each column a comparison
  // reads, in the order it reads them: for a caller that must know which
  // names a row was asked for (the row-binding evaluation of logic.h).
  template <class Read>
  bool test_reading(const cell* row, uint32_t width, Read&& read) const {
    return run(row, width, read);
  }

 private:
  enum kind : uint8_t { k_eq, k_neq, k_lt, k_lte, k_gt, k_gte, k_true };
  struct arg {
    bool is_literal = false;  // literals and absent columns
    cell literal;
    int32_t column = -1;  // the last column bearing the name
    int32_t alias = -1;   // index into aliases_, for shared names
  };
  // A comparison and where testing goes on from it: the index of the next
  // comparison, or kAccept / kReject.
  struct step {
    kind k = k_true;
    int32_t on_true = -1;
    int32_t on_false = -1;
    arg x, y;
  };
  static constexpr int32_t kAccept = -1;
  static constexpr int32_t kReject = -2;
  void compile(const cond_tree& tree, int32_t root);
  arg resolve(const cond_operand& o);
  const cell& fetch(const arg& a, const cell* row, uint32_t width) const;
  template <class Read>
  const cell& fetch(const arg& a, const cell* row, uint32_t width, Read& read) const {
    if (!a.is_literal) read(a.column);
    return fetch(a, row, width);
  }
  // The loop over the comparisons, from the first to an answer.
  template <class Read>
  bool run(const cell* row, uint32_t width, Read& read) const {
    int32_t i = 0;
    for (;;) {
      const step& s = steps_[static_cast<std::size_t>(i)];
      bool v = true;
      if (s.k != k_true) {
        const cell& x = fetch(s.x, row, width, read);
        const cell& y = fetch(s.y, row, width, read);
        switch (s.k) {
          case k_eq: v = cell_eq(x, y); break;
          case k_neq: v = !cell_eq(x, y); break;
          case k_lt: v = cell_lt(x, y); break;
          case k_lte: v = !cell_lt(y, x); break;
          case k_gt: v = cell_lt(y, x); break;
          case k_gte: v = !cell_lt(x, y); break;
          default: break;
        }
      }
      i = v ? s.on_true : s.on_false;
      if (i < 0) return i == kAccept;
    }
  }

  std::vector<step> steps_;
  std::vector<std::vector<int32_t>> aliases_;  // all positions of a shared name
  std::vector<std::pair<std::string, std::vector<int32_t>>> where_;  // sorted by name
};

#endif
