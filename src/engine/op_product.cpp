// The Cartesian product: the columns of both operands merged into one list
// in name order, every pair of rows laid out the same way, sorted and
// collapsed; and the product under a condition, which keeps only the pairs
// that pass instead of building them all.
#include <algorithm>
#include <map>
#include <set>

#include "engine/errors.h"
#include "engine/operators.h"
#include "engine/predicate.h"
#include "engine/row_sort.h"
#include "engine/show_text.h"
#include "engine/vector_ops.h"

namespace {

std::vector<int> product_layout(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::string> names = a;
  names.insert(names.end(), b.begin(), b.end());
  // Columns are laid out in name order; the layout cannot place a name that
  // occurs twice, so such products are refused.
  std::set<std::string> seen;
  std::set<std::string> repeated;
  for (const std::string& n : names) {
    if (!seen.insert(n).second) repeated.insert(n);
  }
  if (!repeated.empty()) {
    // Names the operands share, or else names one operand repeats.
    std::vector<std::string> shared;
    for (const std::string& n : repeated) {
      const bool in_a = std::find(a.begin(), a.end(), n) != a.end();
      const bool in_b = std::find(b.begin(), b.end(), n) != b.end();
      if (in_a && in_b) shared.push_back(n);
    }
    if (shared.empty()) {
      throw evaluation_error("product: column " + show_text(*repeated.begin()) +
                             " appears twice in one operand; use rename to make the column names distinct");
    }
    std::string others;
    for (std::size_t k = 1; k < shared.size(); ++k) {
      others += (k == 1 ? "" : k + 1 == shared.size() ? " and " : ", ") + show_text(shared[k]);
    }
    throw evaluation_error("product: column " + show_text(shared[0]) + " appears in both operands" +
                           (shared.size() == 1 ? std::string()
                                               : std::string(", and so ") + (shared.size() == 2 ? "does " : "do ") + others) +
                           "; use rename to make the column names distinct");
  }
  std::map<std::string, int> rank;
  int next = 0;
  for (const std::string& n : seen) rank[n] = next++;
  std::vector<int> place;
  place.reserve(names.size());
  for (const std::string& n : names) place.push_back(rank[n]);
  return place;
}

}  // namespace

product_header product_header_of(const std::vector<std::string>& a_names, const std::vector<std::string>& a_types,
                                 const std::vector<std::string>& b_names, const std::vector<std::string>& b_types) {
  product_header h;
  h.place = product_layout(a_names, b_names);
  std::vector<std::string> names = a_names;
  names.insert(names.end(), b_names.begin(), b_names.end());
  std::vector<std::string> types = a_types;
  types.insert(types.end(), b_types.begin(), b_types.end());
  h.colnames = vector_swap(names, h.place);
  h.coltypes = vector_swap(types, h.place);
  return h;
}

namespace {

bool full_width(const std::vector<rowref>& rows, std::size_t width) {
  return std::all_of(rows.begin(), rows.end(), [&](const rowref& r) { return r.w == width; });
}

// The product of a and b, or only those of its rows that satisfy condition.
relation product_rows(relation a, relation b, const condition_ref* condition,
                      const eval_limits& limits, bool check_only = false) {
  product_header h = product_header_of(a.colnames, a.coltypes, b.colnames, b.coltypes);
  const std::vector<int> place = std::move(h.place);
  relation result;
  result.colnames = std::move(h.colnames);
  result.coltypes = std::move(h.coltypes);

  // Repeats in an operand only make repeated combined rows, and the first
  // combined row of each kind pairs the first rows of each kind; so the
  // operands are collapsed first and the product of what remains has no
  // repeats.
  std::vector<rowref> x = std::move(a.rows);
  std::vector<rowref> y = std::move(b.rows);
  if (!a.sorted) sort_unique(x);
  if (!b.sorted) sort_unique(y);

  const std::size_t na = a.colnames.size();
  const std::size_t width = result.colnames.size();
  // A row costs its cells, its reference and its sort entry.
  const std::size_t row_bytes = width * (sizeof(cell) + 8) + 64;
  const std::size_t cap = std::min(limits.row_limit, limits.memory_budget / row_bytes);
  if (!x.empty() && y.size() > cap / x.size()) {
    throw evaluation_error(
        "product: the result would hold " + std::to_string(x.size()) + " x " +
        std::to_string(y.size()) + " rows, more than the limit of " + std::to_string(cap) +
        (cap == limits.row_limit ? " set by --max-rows" : " that fit in memory"));
  }
  if (check_only) return result;
  // Rows of full width make combined rows as distinct as the pairs; when the
  // layout keeps a's columns first as well, pairs taken in order are rows in
  // order.
  const bool distinct = full_width(x, na) && full_width(y, width - na);
  bool in_order = distinct;
  for (std::size_t e = 0; e < place.size(); ++e) in_order = in_order && place[e] == static_cast<int>(e);

  // source[k]: the combined position whose cell lands at position k. A row
  // too short for its table reads the integer 0 where it has no cell.
  std::vector<std::size_t> source(width);
  for (std::size_t e = 0; e < place.size(); ++e) source[static_cast<std::size_t>(place[e])] = e;
  std::vector<cell> row(width);
  const cell zero = cell::of_int(0);
  const auto combine = [&](const rowref& p, const rowref& q) {
    for (std::size_t k = 0; k < width; ++k) {
      const std::size_t s = source[k];
      row[k] = s < na ? (s < p.w ? p.c[s] : zero) : (s - na < q.w ? q.c[s - na] : zero);
    }
  };
  std::shared_ptr<std::vector<cell>> store;
  std::size_t count = 0;
  if (condition != nullptr && !distinct) {
    // Equal combined rows need not pass the condition alike (0 and '' are
    // equal but compare differently), so the first of them must be chosen
    // before the condition is tried: build the product, then select.
    a.rows = std::move(x);
    b.rows = std::move(y);
    a.sorted = b.sorted = true;
    relation all = product_rows(std::move(a), std::move(b), nullptr, limits);
    return rel_select(std::move(all), *condition);
  }
  if (condition == nullptr) {
    store = new_cells(x.size() * y.size() * width);
    for (const rowref& p : x) {
      for (const rowref& q : y) {
        combine(p, q);
        store->insert(store->end(), row.begin(), row.end());
      }
    }
    count = x.size() * y.size();
  } else {
    // Only the rows that pass are kept, so the whole product is never built.
    const bound_predicate test(*condition->tree, condition->root, result.colnames);
    store = std::make_shared<std::vector<cell>>();
    for (const rowref& p : x) {
      for (const rowref& q : y) {
        combine(p, q);
        if (test.test(row.data(), static_cast<uint32_t>(width))) {
          store->insert(store->end(), row.begin(), row.end());
          ++count;
        }
      }
    }
  }
  result.rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    result.rows.push_back({width == 0 ? nullptr : store->data() + i * width,
                           static_cast<uint32_t>(width)});
  }
  if (!in_order) sort_unique(result.rows, distinct);
  adopt(result, a);
  adopt(result, b);
  result.owners.push_back(std::move(store));
  result.sorted = true;
  return result;
}

}  // namespace

relation rel_product(relation a, relation b, const eval_limits& limits) {
  return product_rows(std::move(a), std::move(b), nullptr, limits);
}

void check_product(relation a, relation b, const eval_limits& limits) {
  product_rows(std::move(a), std::move(b), nullptr, limits, true);
}

relation rel_select_product(relation a, relation b, condition_ref condition,
                            const eval_limits& limits) {
  relation result = product_rows(std::move(a), std::move(b), &condition, limits);
  result.name.clear();
  return result;
}
