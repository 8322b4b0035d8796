// A parsed condition compiled against one column layout: every column name
// is resolved to a position once, so a row is tested straight on its cells
// without building a binding. A name the layout lacks reads as the integer
// 0; when several columns share a name, the last one the row reaches is
// read. The answer is the one the row-binding evaluation gives.
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
  enum kind : uint8_t { k_not, k_and, k_or, k_eq, k_neq, k_lt, k_lte, k_gt, k_gte, k_true };
  struct arg {
    bool is_literal = false;  // literals and absent columns
    cell literal;
    int32_t column = -1;  // the last column bearing the name
    int32_t alias = -1;   // index into aliases_, for shared names
  };
  struct node {
    kind k = k_true;
    int32_t a = -1;  // children of NOT/AND/OR
    int32_t b = -1;
    arg x, y;
  };
  int32_t compile(const cond_tree& tree, int32_t i);
  arg resolve(const cond_operand& o);
  const cell& fetch(const arg& a, const cell* row, uint32_t width) const;
  bool eval(int32_t i, const cell* row, uint32_t width) const;

  std::vector<node> nodes_;
  std::vector<std::vector<int32_t>> aliases_;  // all positions of a shared name
  std::vector<std::pair<std::string, std::vector<int32_t>>> where_;  // sorted by name
  int32_t root_ = -1;
};

#endif
