// The implied order: the comparisons as edges (<= and <), the constants of
// each kind chained by their values, and the transitive closure, in which a
// path with a strict edge is strict.
#include "prove/implied.h"

#include <algorithm>

namespace prove {

implied_order::implied_order(const conjunct& w, const std::vector<value>& constants) {
  for (const term& t : w.terms) {
    values_.push_back(t.v);
    constant_.push_back(t.constant);
  }
  for (const value& v : constants) {
    if (node_of(v) >= 0) continue;
    values_.push_back(v);
    constant_.push_back(true);
  }
  n_ = values_.size();
  order_.assign(n_ * n_, 0);
  const auto edge = [&](std::size_t x, std::size_t y, uint8_t s) {
    uint8_t& e = order_[x * n_ + y];
    e = std::max(e, s);
  };
  for (const comparison& k : w.comps) {
    const auto a = static_cast<std::size_t>(k.a), b = static_cast<std::size_t>(k.b);
    if (k.r == rel::lt) edge(a, b, 2);
    if (k.r == rel::le) edge(a, b, 1);
    if (k.r == rel::ne) differ_.insert({k.a, k.b});
  }
  std::vector<std::size_t> consts;
  for (std::size_t i = 0; i < n_; ++i) {
    if (constant_[i]) consts.push_back(i);
  }
  for (const std::size_t x : consts) {
    for (const std::size_t y : consts) {
      if (values_[x].k == values_[y].k && compare_values(values_[x], values_[y]) < 0) edge(x, y, 2);
    }
  }
  for (std::size_t k = 0; k < n_; ++k) {
    for (std::size_t i = 0; i < n_; ++i) {
      const uint8_t ik = at(i, k);
      if (ik == 0) continue;
      for (std::size_t j = 0; j < n_; ++j) {
        const uint8_t kj = at(k, j);
        if (kj != 0) edge(i, j, std::max(ik, kj));
      }
    }
  }
}

int64_t implied_order::node_of(const value& v) const {
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (constant_[i] && values_[i] == v) return static_cast<int64_t>(i);
  }
  return -1;
}

bool implied_order::holds(rel r, int64_t x, int64_t y) const {
  if (x < 0 || y < 0 || static_cast<std::size_t>(x) >= n_ || static_cast<std::size_t>(y) >= n_) return false;
  const auto a = static_cast<std::size_t>(x), b = static_cast<std::size_t>(y);
  switch (r) {
    case rel::eq: return x == y;
    case rel::le: return x == y || at(a, b) != 0;
    case rel::lt: return at(a, b) == 2;
    case rel::ne:
      return x != y && (differ_.count({x, y}) != 0 || differ_.count({y, x}) != 0 || at(a, b) == 2 ||
                        at(b, a) == 2 || (constant_[a] && constant_[b]));
  }
  return false;
}

}  // namespace prove
