// The total preorders of some terms of one kind: every way to lay them out
// in a line of classes of equal terms, ascending, with the constants in
// their places. Only the layouts that satisfy the given comparisons and
// that some values can take are visited: between two integer constants a
// and b there is room for b - a - 1 classes, below the least or above the
// greatest integer only as far as 32 bits reach; strings leave room for any
// number of classes except below a string of zero bytes only (nothing below
// the empty string) and between s and s followed by m zero bytes (m - 1).
// So every layout visited is the order of some values, and every order of
// values is visited: a proof that holds for each layout holds for every
// database, over integers and strings as they are (GT(a,1) is GTE(a,2)).
#ifndef RELALG_PROVE_PREORDER_H
#define RELALG_PROVE_PREORDER_H

#include <cstdint>
#include <functional>
#include <vector>

#include "prove/form.h"

namespace prove {

// Terms are slots: the constants first (distinct values, ascending), then
// the variables.
struct slot_comparison {
  rel r = rel::eq;
  int32_t a = -1;
  int32_t b = -1;
};

struct order_problem {
  kind k = kind::integer;
  std::vector<value> constants;  // distinct, ascending
  int32_t variables = 0;
  std::vector<slot_comparison> comps;
};

// Calls visit with the class of every slot (0 for the least class, and so
// on) for each layout, until visit returns false. Returns false when it was
// stopped.
bool each_preorder(const order_problem& p, const std::function<bool(const std::vector<int32_t>&)>& visit);

// How many classes of variables fit strictly between two constants (either
// may be missing: no bound on that side); SIZE_MAX for no limit.
std::size_t room_between(kind k, const value* lo, const value* hi);

}  // namespace prove

#endif
