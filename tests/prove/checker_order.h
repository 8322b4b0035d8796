// The checker's tools for orders: the items a preorder lays out, how many
// classes fit between two constants, ordered set partitions of items,
// what comparisons imply, and variables merged by equalities. Written for
// the checker alone, apart from the prover.
#ifndef RELALG_TESTS_PROVE_CHECKER_ORDER_H
#define RELALG_TESTS_PROVE_CHECKER_ORDER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "checker.h"

namespace proofcheck {

// An item of a preorder: a constant, or a class of W's variables.
struct item {
  bool constant = false;
  int32_t n = 0;
  std::string s;
  int cls = -1;
};

bool less_value(kd k, const item& a, const item& b);

// How many classes fit strictly between two constants of a kind (either
// may be missing: no bound); SIZE_MAX for no limit.
std::size_t room(kd k, const item* lo, const item* hi);

// Every ordered partition of n items into blocks (each item's block, the
// blocks ascending) whose blocks each pass `fits` as they are formed: fits
// sees the new block's items, the items not placed before it, the blocks
// so far and the new block's number.
using fits_fn = std::function<bool(unsigned block, unsigned left, const std::vector<int>& blocks, int b)>;
void partitions(std::size_t n, const fits_fn& fits, const std::function<void(const std::vector<int>&)>& each);

// What a set of comparisons implies in every total order that satisfies
// them: < and <= along paths (strict if any step is), != where stated or
// strict either way. Nodes are numbered by the caller.
class implication {
 public:
  explicit implication(std::size_t n) : n_(n), path_(n * n, 0) {}
  void add(cond_op op, std::size_t x, std::size_t y);
  void close();
  bool implies(cond_op op, std::size_t x, std::size_t y) const;

 private:
  void step(std::size_t x, std::size_t y, int strength);
  std::size_t n_;
  std::vector<int> path_;
  std::set<std::pair<std::size_t, std::size_t>> differ_;
};

struct union_find {
  std::vector<int> up;
  explicit union_find(std::size_t n);
  int top(int x);
  void join(int a, int b);
};

// Variables merged by equalities, each class with its constant; ok false
// when two constants meet.
struct classes {
  union_find uf;
  std::map<int, cterm> constant;
  bool ok = true;
  explicit classes(std::size_t vars) : uf(vars) {}

  static bool same(const cterm& a, const cterm& b) { return a.k == b.k && a.n == b.n && a.s == b.s; }
  void equal(const cterm& x, const cterm& y);
};

// The comparison op between two positions in an order.
bool compare(cond_op op, int x, int y);

}  // namespace proofcheck

#endif
