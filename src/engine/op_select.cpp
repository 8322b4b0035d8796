// Selection: the rows a condition holds for, in their order.
#include "engine/operators.h"
#include "engine/predicate.h"

relation rel_select(relation t, condition_ref condition) {
  const bound_predicate test(*condition.tree, condition.root, t.colnames);
  std::size_t kept = 0;
  for (const rowref& r : t.rows) {
    if (test.test(r.c, r.w)) t.rows[kept++] = r;
  }
  t.rows.resize(kept);
  t.name.clear();
  return t;
}
