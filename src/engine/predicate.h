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
  bool test(const cell* row, uint32_t width) const;
  bool test(const rowref& r) const { return test(r.c, r.w); }

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

  std::vector<step> steps_;
  std::vector<std::vector<int32_t>> aliases_;  // all positions of a shared name
  std::vector<std::pair<std::string, std::vector<int32_t>>> where_;  // sorted by name
};

#endif
