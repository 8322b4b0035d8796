// The order of constants, and the unification that makes a conjunct's equal
// terms one term.
#include "prove/form.h"

#include <map>
#include <numeric>
#include <string_view>

namespace prove {

int compare_values(const value& a, const value& b) {
  if (a.k != b.k) return a.k == kind::integer ? -1 : 1;
  if (a.k == kind::integer) return (a.i > b.i) - (a.i < b.i);
  // char_traits<char> compares bytes as unsigned, as the language does.
  const int c = std::string_view(a.s).compare(b.s);
  return (c > 0) - (c < 0);
}

namespace {

int32_t find(std::vector<int32_t>& parent, int32_t x) {
  while (parent[static_cast<std::size_t>(x)] != x) {
    int32_t& p = parent[static_cast<std::size_t>(x)];
    p = parent[static_cast<std::size_t>(p)];
    x = p;
  }
  return x;
}

bool holds(rel r, int order) {
  switch (r) {
    case rel::eq: return order == 0;
    case rel::ne: return order != 0;
    case rel::lt: return order < 0;
    case rel::le: return order <= 0;
  }
  return false;
}

}  // namespace

void compact(conjunct& c, std::vector<int32_t>* map) {
  const std::size_t n = c.terms.size();
  std::vector<int32_t> parent(n);
  std::iota(parent.begin(), parent.end(), 0);
  const auto unite = [&](int32_t a, int32_t b) {
    a = find(parent, a);
    b = find(parent, b);
    if (a != b) parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  };
  for (const comparison& k : c.comps) {
    if (k.r == rel::eq) unite(k.a, k.b);
  }
  // Constants of one value are one term.
  std::map<std::pair<int, std::pair<int32_t, std::string>>, int32_t> by_value;
  for (std::size_t t = 0; t < n; ++t) {
    const term& x = c.terms[t];
    if (!x.constant) continue;
    const auto key = std::make_pair(static_cast<int>(x.v.k), std::make_pair(x.v.i, x.v.s));
    const auto [it, fresh] = by_value.emplace(key, static_cast<int32_t>(t));
    if (!fresh) unite(it->second, static_cast<int32_t>(t));
  }
  // Each class is represented by its constant (two constants make it
  // unsatisfiable), else by its first term.
  std::vector<int32_t> rep(n, -1);
  for (std::size_t t = 0; t < n; ++t) {
    const int32_t root = find(parent, static_cast<int32_t>(t));
    int32_t& r = rep[static_cast<std::size_t>(root)];
    if (r < 0) r = static_cast<int32_t>(t);
    if (c.terms[t].constant) {
      const term& held = c.terms[static_cast<std::size_t>(r)];
      if (!held.constant) {
        r = static_cast<int32_t>(t);
      } else if (!(held.v == c.terms[t].v)) {
        c.dead = true;
      }
    }
  }
  std::vector<int32_t> index(n, -1);
  std::vector<term> terms;
  for (std::size_t t = 0; t < n; ++t) {
    const int32_t r = rep[static_cast<std::size_t>(find(parent, static_cast<int32_t>(t)))];
    if (index[static_cast<std::size_t>(r)] < 0) {
      index[static_cast<std::size_t>(r)] = static_cast<int32_t>(terms.size());
      terms.push_back(c.terms[static_cast<std::size_t>(r)]);
    }
  }
  std::vector<int32_t> to(n);
  for (std::size_t t = 0; t < n; ++t) {
    to[t] = index[static_cast<std::size_t>(rep[static_cast<std::size_t>(find(parent, static_cast<int32_t>(t)))])];
  }
  for (atom& a : c.atoms) {
    for (int32_t& x : a.args) x = to[static_cast<std::size_t>(x)];
  }
  for (int32_t& x : c.head) x = to[static_cast<std::size_t>(x)];
  std::vector<comparison> comps;
  for (comparison k : c.comps) {
    if (k.r == rel::eq) continue;
    k.a = to[static_cast<std::size_t>(k.a)];
    k.b = to[static_cast<std::size_t>(k.b)];
    const term& x = terms[static_cast<std::size_t>(k.a)];
    const term& y = terms[static_cast<std::size_t>(k.b)];
    if (k.a == k.b || (x.constant && y.constant)) {
      const int order = k.a == k.b ? 0 : compare_values(x.v, y.v);
      if (!holds(k.r, order)) c.dead = true;
      continue;
    }
    comps.push_back(k);
  }
  c.terms = std::move(terms);
  c.comps = std::move(comps);
  if (map != nullptr) *map = std::move(to);
}

}  // namespace prove
