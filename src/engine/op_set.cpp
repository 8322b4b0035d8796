// Union and difference. Both work on sorted, collapsed row lists: union
// merges them (a few rows into many by binary search), and difference drops
// the right operand's rows in the same hashing pass that drops repeats.
#include <algorithm>
#include <iterator>

#include "engine/operators.h"
#include "engine/row_hash.h"
#include "engine/row_order.h"
#include "engine/row_sort.h"

namespace {

// Merges two sorted, collapsed row lists; of two equal rows the one from a
// stays, as it would come first in a stable sort of a's rows then b's.
// Lists of like size merge in one walk; a few rows merge into many by
// binary search, in little more than a copy.
std::vector<rowref> merge_unique(const std::vector<rowref>& a, const std::vector<rowref>& b) {
  std::vector<rowref> out;
  out.reserve(a.size() + b.size());
  const bool walk_a = a.size() <= b.size();
  const std::vector<rowref>& few = walk_a ? a : b;
  const std::vector<rowref>& many = walk_a ? b : a;
  if (few.size() * 8 >= many.size()) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
      const int c = ref_order(a[i], b[j]);
      if (c <= 0) {
        out.push_back(a[i++]);
        if (c == 0) ++j;
      } else {
        out.push_back(b[j++]);
      }
    }
    out.insert(out.end(), a.begin() + static_cast<std::ptrdiff_t>(i), a.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(j), b.end());
    return out;
  }
  auto from = many.begin();
  for (const rowref& r : few) {
    const auto at = std::lower_bound(from, many.end(), r, ref_less);
    out.insert(out.end(), from, at);
    from = at;
    if (from != many.end() && ref_equal(*from, r)) {
      out.push_back(walk_a ? r : *from);
      ++from;
    } else {
      out.push_back(r);
    }
  }
  out.insert(out.end(), from, many.end());
  return out;
}

}  // namespace

relation rel_union(relation a, relation b) {
  if (!a.sorted && !b.sorted) {
    a.rows.insert(a.rows.end(), b.rows.begin(), b.rows.end());
    std::vector<rowref>().swap(b.rows);
    sort_unique(a.rows);
  } else {
    // One side is already in order: put the other in order and merge.
    std::vector<rowref> y = std::move(b.rows);
    if (!a.sorted) sort_unique(a.rows);
    if (!b.sorted) sort_unique(y);
    a.rows = merge_unique(a.rows, y);
  }
  adopt(a, b);
  a.sorted = true;
  return a;
}

relation rel_minus(relation a, relation b) {
  relation result;
  result.colnames = a.colnames;
  result.coltypes = a.coltypes;
  result.owners.swap(a.owners);
  std::vector<rowref> x = std::move(a.rows);
  std::vector<rowref> y = std::move(b.rows);
  // One hashing pass drops the rows of y and the repeats; an unordered
  // remainder is then sorted, an ordered one stays in order.
  if (!x.empty() && (!y.empty() || !a.sorted)) keep_first_of_each(x, &y);
  std::vector<rowref>().swap(y);
  if (!a.sorted) sort_unique(x, true);
  result.rows = std::move(x);
  result.sorted = true;
  return result;
}
