// The checker's tools for orders.
#include "checker_order.h"

#include <algorithm>
#include <numeric>

namespace proofcheck {

bool less_value(kd k, const item& a, const item& b) { return k == kd::num ? a.n < b.n : a.s < b.s; }

std::size_t room(kd k, const item* lo, const item* hi) {
  if (k == kd::num) {
    const long long a = lo ? lo->n : -2147483649LL;
    const long long b = hi ? hi->n : 2147483648LL;
    return static_cast<std::size_t>(std::max(0LL, b - a - 1));
  }
  if (!hi) return SIZE_MAX;
  const std::string base = lo ? lo->s : "";
  if (hi->s.compare(0, base.size(), base) != 0 || hi->s.size() < base.size()) return SIZE_MAX;
  for (std::size_t i = base.size(); i < hi->s.size(); ++i) {
    if (hi->s[i] != '\0') return SIZE_MAX;
  }
  return hi->s.size() - base.size() - (lo ? 1 : 0);
}

void partitions(std::size_t n, const fits_fn& fits, const std::function<void(const std::vector<int>&)>& each) {
  std::vector<int> block(n, -1);
  std::function<void(unsigned, int)> rec = [&](unsigned left, int b) {
    if (left == 0) {
      each(block);
      return;
    }
    for (unsigned sub = left; sub != 0; sub = (sub - 1) & left) {
      if (!fits(sub, left, block, b)) continue;
      for (std::size_t i = 0; i < n; ++i) {
        if (sub & (1u << i)) block[i] = b;
      }
      rec(left & ~sub, b + 1);
      for (std::size_t i = 0; i < n; ++i) {
        if (sub & (1u << i)) block[i] = -1;
      }
    }
  };
  rec(n == 0 ? 0 : (1u << n) - 1, 0);
}

void implication::add(cond_op op, std::size_t x, std::size_t y) {
  switch (op) {
    case cond_op::lt: step(x, y, 2); break;
    case cond_op::lte: step(x, y, 1); break;
    case cond_op::gt: step(y, x, 2); break;
    case cond_op::gte: step(y, x, 1); break;
    case cond_op::neq: differ_.insert({std::min(x, y), std::max(x, y)}); break;
    default: break;
  }
}

void implication::close() {
  for (std::size_t k = 0; k < n_; ++k) {
    for (std::size_t i = 0; i < n_; ++i) {
      for (std::size_t j = 0; j < n_; ++j) {
        if (path_[i * n_ + k] != 0 && path_[k * n_ + j] != 0) step(i, j, std::max(path_[i * n_ + k], path_[k * n_ + j]));
      }
    }
  }
}

bool implication::implies(cond_op op, std::size_t x, std::size_t y) const {
  const int xy = path_[x * n_ + y], yx = path_[y * n_ + x];
  switch (op) {
    case cond_op::eq: return x == y;
    case cond_op::lt: return xy == 2;
    case cond_op::lte: return x == y || xy != 0;
    case cond_op::gt: return yx == 2;
    case cond_op::gte: return x == y || yx != 0;
    default: return x != y && (xy == 2 || yx == 2 || differ_.count({std::min(x, y), std::max(x, y)}) != 0);
  }
}

void implication::step(std::size_t x, std::size_t y, int strength) {
  int& p = path_[x * n_ + y];
  p = std::max(p, strength);
}

union_find::union_find(std::size_t n) : up(n) { std::iota(up.begin(), up.end(), 0); }

int union_find::top(int x) {
  return up[static_cast<std::size_t>(x)] == x ? x : up[static_cast<std::size_t>(x)] = top(up[static_cast<std::size_t>(x)]);
}

void union_find::join(int a, int b) { up[static_cast<std::size_t>(top(a))] = top(b); }

void classes::equal(const cterm& x, const cterm& y) {
  if (x.var < 0 && y.var < 0) {
    ok = ok && same(x, y);
    return;
  }
  if (x.var < 0 || y.var < 0) {
    const cterm& v = x.var < 0 ? y : x;
    const cterm& c = x.var < 0 ? x : y;
    const int r = uf.top(v.var);
    const auto it = constant.find(r);
    if (it == constant.end()) constant[r] = c;
    else ok = ok && same(it->second, c);
    return;
  }
  const int a = uf.top(x.var), b = uf.top(y.var);
  if (a == b) return;
  const auto ia = constant.find(a), ib = constant.find(b);
  if (ia != constant.end() && ib != constant.end()) ok = ok && same(ia->second, ib->second);
  uf.join(a, b);
  const int r = uf.top(a);
  if (ia != constant.end()) constant[r] = ia->second;
  else if (ib != constant.end()) constant[r] = ib->second;
}

bool compare(cond_op op, int x, int y) {
  switch (op) {
    case cond_op::eq: return x == y;
    case cond_op::neq: return x != y;
    case cond_op::lt: return x < y;
    case cond_op::lte: return x <= y;
    case cond_op::gt: return x > y;
    default: return x >= y;
  }
}

}  // namespace proofcheck
