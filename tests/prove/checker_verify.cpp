// The checker's verification: the containments the certificate's form
// needs, each expanded into cases; each case's terms merged by its
// equalities, its preorders laid out as ordered set partitions, and in each
// one of the certificate's maps checked.
#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <set>

#include "checker.h"
#include "checker_order.h"
#include "json_value.h"

namespace proofcheck {

namespace {

using pclass = std::pair<int, long long>;  // (0 integers | 1 strings, block), (2, W class)

struct negative_use {
  const std::vector<disjunct>* set;
  std::vector<int> args;  // W variables
};

struct case_check {
  disjunct w;  // the case's atoms, variables and comparisons
  std::vector<negative_use> negatives;
  std::string problem;

  // Whether every preorder has a map among `maps`.
  bool refuted(const testjson::value* maps) {
    classes wc(w.var_kinds.size());
    for (const comparison& c : w.comps) {
      if (c.op == cond_op::eq) wc.equal(c.x, c.y);
    }
    if (!wc.ok) return true;  // two constants made equal: no such rows
    // The items of each kind: constants, compared classes, classes in
    // columns a membership's disjunct compares.
    std::set<std::pair<std::string, std::size_t>> columns;
    std::vector<item> items[2];
    const auto add_constant = [&](const cterm& t) {
      auto& list = items[t.k == kd::num ? 0 : 1];
      for (const item& i : list) {
        if (i.constant && i.n == t.n && i.s == t.s) return;
      }
      list.push_back({true, t.n, t.s, -1});
    };
    for (const negative_use& n : negatives) {
      for (const disjunct& e : *n.set) {
        classes ec(e.var_kinds.size());
        for (const comparison& c : e.comps) {
          if (c.op == cond_op::eq) ec.equal(c.x, c.y);
          for (const cterm* t : {&c.x, &c.y}) {
            if (t->var < 0) add_constant(*t);
          }
        }
        for (const cterm& t : e.head) {
          if (t.var < 0) add_constant(t);
        }
        std::set<int> compared;
        for (const comparison& c : e.comps) {
          if (c.op == cond_op::eq) continue;
          for (const cterm* t : {&c.x, &c.y}) {
            if (t->var >= 0) compared.insert(ec.uf.top(t->var));
          }
          // A compared constant marks the classes holding it.
          for (const auto& [r, k] : ec.constant) {
            if ((c.x.var < 0 && classes::same(k, c.x)) || (c.y.var < 0 && classes::same(k, c.y))) {
              compared.insert(ec.uf.top(r));
            }
          }
        }
        for (std::size_t a = 0; a < e.tables.size(); ++a) {
          for (std::size_t col = 0; col < e.atom_vars[a].size(); ++col) {
            if (compared.count(ec.uf.top(e.atom_vars[a][col])) != 0) columns.insert({e.tables[a], col});
          }
        }
      }
    }
    std::set<int> chosen;
    for (const comparison& c : w.comps) {
      for (const cterm* t : {&c.x, &c.y}) {
        if (t->var < 0) add_constant(*t);
        else if (c.op != cond_op::eq) chosen.insert(wc.uf.top(t->var));
      }
    }
    for (const cterm& t : w.head) {
      if (t.var < 0) add_constant(t);
    }
    for (std::size_t a = 0; a < w.tables.size(); ++a) {
      for (std::size_t col = 0; col < w.atom_vars[a].size(); ++col) {
        if (columns.count({w.tables[a], col}) != 0) chosen.insert(wc.uf.top(w.atom_vars[a][col]));
      }
    }
    for (const auto& [r, k] : wc.constant) add_constant(k);
    for (const int r : chosen) {
      if (wc.constant.count(r) == 0) items[w.var_kinds[static_cast<std::size_t>(r)] == kd::num ? 0 : 1].push_back({false, 0, "", r});
    }

    if (items[0].size() > 12 || items[1].size() > 12) {
      problem = "too many terms to lay out";
      return false;
    }
    // The preorder of each kind as a block per item.
    std::vector<int> blocks[2];
    const auto place_of = [&](int var) -> pclass {
      const int r = wc.uf.top(var);
      const auto it = wc.constant.find(r);
      for (int k = 0; k < 2; ++k) {
        for (std::size_t i = 0; i < items[k].size(); ++i) {
          const item& x = items[k][i];
          const bool hit = it != wc.constant.end() ? (x.constant && x.n == it->second.n && x.s == it->second.s &&
                                                        (it->second.k == kd::num) == (k == 0))
                                                   : (!x.constant && x.cls == r);
          if (hit) return {k, blocks[k][i]};
        }
      }
      return {2, r};
    };
    const auto place_of_constant = [&](const cterm& t) -> pclass {
      const int k = t.k == kd::num ? 0 : 1;
      for (std::size_t i = 0; i < items[k].size(); ++i) {
        if (items[k][i].constant && items[k][i].n == t.n && items[k][i].s == t.s) return {k, blocks[k][i]};
      }
      return {3, 0};
    };
    const auto place = [&](const cterm& t) { return t.var >= 0 ? place_of(t.var) : place_of_constant(t); };
    const auto holds = [&](const comparison& c, const std::function<pclass(const cterm&)>& at) {
      const pclass x = at(c.x), y = at(c.y);
      if (x.first != y.first || x.first > 1) return c.op == cond_op::eq ? x == y : false;
      return compare(c.op, static_cast<int>(x.second), static_cast<int>(y.second));
    };
    const auto valid = [&](int k) {
      const kd kind = k == 0 ? kd::num : kd::str;
      const std::vector<item>& it = items[k];
      int count = 0;
      for (const int b : blocks[k]) count = std::max(count, b + 1);
      std::vector<const item*> fixed(static_cast<std::size_t>(count), nullptr);
      for (std::size_t i = 0; i < it.size(); ++i) {
        if (!it[i].constant) continue;
        const item*& f = fixed[static_cast<std::size_t>(blocks[k][i])];
        if (f != nullptr) return false;
        f = &it[i];
      }
      const item* lo = nullptr;
      std::size_t run = 0;
      for (int b = 0; b <= count; ++b) {
        const item* hi = b < count ? fixed[static_cast<std::size_t>(b)] : nullptr;
        if (b < count && hi == nullptr) {
          ++run;
          continue;
        }
        if (lo && hi && !less_value(kind, *lo, *hi)) return false;
        if (run > room(kind, lo, hi)) return false;
        lo = hi;
        run = 0;
      }
      return true;
    };

    // A map whose comparisons W's own imply holds in every preorder: each
    // class of W a value of its own, each constant another.
    if (maps != nullptr) {
      std::vector<std::pair<int, int>> nodes;  // (kind or 2 for a class, item or class)
      const auto node = [&](pclass p) -> std::size_t {
        const std::pair<int, int> key{p.first, static_cast<int>(p.second)};
        const auto it = std::find(nodes.begin(), nodes.end(), key);
        if (it != nodes.end()) return static_cast<std::size_t>(it - nodes.begin());
        nodes.push_back(key);
        return nodes.size() - 1;
      };
      const auto own_constant = [&](const cterm& t) -> pclass {
        const int k = t.k == kd::num ? 0 : 1;
        for (std::size_t i = 0; i < items[k].size(); ++i) {
          if (items[k][i].constant && items[k][i].n == t.n && items[k][i].s == t.s) return {k, static_cast<long long>(i)};
        }
        return {3, 0};
      };
      const auto own = [&](int var) -> pclass {
        const int r = wc.uf.top(var);
        const auto it = wc.constant.find(r);
        return it != wc.constant.end() ? own_constant(it->second) : pclass{2, r};
      };
      const auto own_term = [&](const cterm& t) { return t.var >= 0 ? own(t.var) : own_constant(t); };
      for (int k = 0; k < 2; ++k) {
        for (std::size_t i = 0; i < items[k].size(); ++i) node({k, static_cast<long long>(i)});
      }
      for (const comparison& c : w.comps) {
        node(own_term(c.x));
        node(own_term(c.y));
      }
      implication imp(nodes.size() + 1);
      for (const comparison& c : w.comps) {
        if (c.op != cond_op::eq) imp.add(c.op, node(own_term(c.x)), node(own_term(c.y)));
      }
      for (int k = 0; k < 2; ++k) {
        for (std::size_t i = 0; i < items[k].size(); ++i) {
          for (std::size_t j = 0; j < items[k].size(); ++j) {
            if (items[k][i].constant && items[k][j].constant && less_value(k == 0 ? kd::num : kd::str, items[k][i], items[k][j])) {
              imp.add(cond_op::lt, node({k, static_cast<long long>(i)}), node({k, static_cast<long long>(j)}));
            }
          }
        }
      }
      imp.close();
      const std::size_t before = nodes.size();
      const auto implied = [&](const comparison& c, const std::function<pclass(const cterm&)>& at) {
        const pclass x = at(c.x), y = at(c.y);
        if (c.op == cond_op::eq) return x == y;
        const std::size_t a = node(x), b = node(y);
        if (a >= before || b >= before) return false;  // a value W does not compare
        return imp.implies(c.op, a, b);
      };
      for (const testjson::value& m : maps->items) {
        if (map_holds(m, own_term, own, own_constant, implied)) return true;
      }
    }

    // Comparisons of W between items of each kind, for pruning.
    struct item_comparison {
      cond_op op;
      std::size_t x, y;
    };
    std::vector<item_comparison> by_kind[2];
    const auto item_of = [&](const cterm& t) -> std::pair<int, std::size_t> {
      const int r = t.var >= 0 ? wc.uf.top(t.var) : -1;
      const auto it = r >= 0 ? wc.constant.find(r) : wc.constant.end();
      const cterm* c = t.var < 0 ? &t : it != wc.constant.end() ? &it->second : nullptr;
      for (int k = 0; k < 2; ++k) {
        for (std::size_t i = 0; i < items[k].size(); ++i) {
          const item& x = items[k][i];
          if (c != nullptr ? (x.constant && x.n == c->n && x.s == c->s && (c->k == kd::num) == (k == 0))
                           : (!x.constant && x.cls == r)) {
            return {k, i};
          }
        }
      }
      return {-1, 0};
    };
    for (const comparison& c : w.comps) {
      if (c.op == cond_op::eq) continue;
      const auto a = item_of(c.x), b = item_of(c.y);
      if (a.first >= 0 && a.first == b.first) by_kind[a.first].push_back({c.op, a.second, b.second});
    }
    // A block holds at most one constant, the least of those not placed,
    // and breaks no comparison with the items placed.
    const auto fits = [&](int k) -> fits_fn {
      return [&, k](unsigned sub, unsigned left, const std::vector<int>& block, int b) {
        const item* least = nullptr;
        const item* inside = nullptr;
        for (std::size_t i = 0; i < items[k].size(); ++i) {
          const item& x = items[k][i];
          if (!x.constant || !(left & (1u << i))) continue;
          if (sub & (1u << i)) {
            if (inside != nullptr) return false;
            inside = &x;
          }
          if (least == nullptr || less_value(k == 0 ? kd::num : kd::str, x, *least)) least = &x;
        }
        if (inside != nullptr && inside != least) return false;
        for (const item_comparison& c : by_kind[k]) {
          const bool xs = (sub >> c.x) & 1u, ys = (sub >> c.y) & 1u;
          if (!xs && !ys) continue;
          const int bx = xs ? b : block[c.x], by = ys ? b : block[c.y];
          if (bx < 0 || by < 0) continue;
          if (!compare(c.op, bx, by)) return false;
        }
        return true;
      };
    };
    bool all = true;
    partitions(items[0].size(), fits(0), [&](const std::vector<int>& b0) {
      blocks[0] = b0;
      if (!all || !valid(0)) return;
      partitions(items[1].size(), fits(1), [&](const std::vector<int>& b1) {
        blocks[1] = b1;
        if (!all || !valid(1)) return;
        for (const comparison& c : w.comps) {
          if (c.op != cond_op::eq && !holds(c, place)) return;
        }
        if (maps != nullptr) {
          for (const testjson::value& m : maps->items) {
            if (map_holds(m, place, place_of, place_of_constant, holds)) return;
          }
        }
        all = false;
        problem = "a preorder that no map of the certificate covers";
      });
    });
    return all;
  }

  template <class P, class PV, class PC, class H>
  bool map_holds(const testjson::value& m, const P& place, const PV& place_of, const PC& place_of_constant,
                 const H& holds) const {
    (void)place;
    const long long k = m["negative"].n;
    if (k < 0 || static_cast<std::size_t>(k) >= negatives.size()) return false;
    const negative_use& n = negatives[static_cast<std::size_t>(k)];
    const long long d = m["disjunct"].n;
    if (d < 0 || static_cast<std::size_t>(d) >= n.set->size()) return false;
    const disjunct& e = (*n.set)[static_cast<std::size_t>(d)];
    const std::vector<testjson::value>& to = m["occurrences"].items;
    if (to.size() != e.tables.size()) return false;
    classes ec(e.var_kinds.size());
    for (const comparison& c : e.comps) {
      if (c.op == cond_op::eq) ec.equal(c.x, c.y);
    }
    if (!ec.ok) return false;
    std::map<int, pclass> bound;
    bool ok = true;
    const auto bind = [&](int var, pclass p) {
      const auto [it, fresh] = bound.emplace(ec.uf.top(var), p);
      ok = ok && (fresh || it->second == p);
    };
    for (std::size_t a = 0; a < e.tables.size(); ++a) {
      const long long j = to[a].n;
      if (j < 0 || static_cast<std::size_t>(j) >= w.tables.size()) return false;
      const std::size_t t = static_cast<std::size_t>(j);
      if (w.tables[t] != e.tables[a] || w.atom_vars[t].size() != e.atom_vars[a].size()) return false;
      for (std::size_t col = 0; col < e.atom_vars[a].size(); ++col) bind(e.atom_vars[a][col], place_of(w.atom_vars[t][col]));
    }
    for (const auto& [r, c] : ec.constant) bind(r, place_of_constant(c));
    for (std::size_t h = 0; h < e.head.size(); ++h) {
      const pclass want = place_of(n.args[h]);
      if (e.head[h].var >= 0) bind(e.head[h].var, want);
      else ok = ok && place_of_constant(e.head[h]) == want;
    }
    if (!ok) return false;
    const auto at = [&](const cterm& t) -> pclass {
      if (t.var < 0) return place_of_constant(t);
      const auto it = bound.find(ec.uf.top(t.var));
      return it == bound.end() ? pclass{4, 0} : it->second;
    };
    for (const comparison& c : e.comps) {
      if (c.op != cond_op::eq && !holds(c, at)) return false;
    }
    return true;
  }
};

}  // namespace

std::string check_containment(const model& a, const model* b, const testjson::value& cases);

std::string check_containment(const model& a, const model* b, const testjson::value& cases) {
  std::map<std::string, const testjson::value*> by_key;
  for (const testjson::value& c : cases.items) {
    std::string key = std::to_string(c["case"].items[0].n) + "/" + std::to_string(c["case"].items[1].n) + "/";
    for (const testjson::value& x : c["case"].items[2].items) key += std::to_string(x.n) + ",";
    by_key[key] = &c["maps"];
  }
  const normal_form na = normalize(a.phi, a.root, false);
  const normal_form nb = b != nullptr ? normalize(b->phi, b->root, true) : normal_form{{}};
  for (std::size_t i = 0; i < na.size(); ++i) {
    for (std::size_t j = 0; j < nb.size(); ++j) {
      std::vector<std::pair<const literal*, const model*>> lits;
      for (const literal& l : na[i]) lits.emplace_back(&l, &a);
      for (const literal& l : nb[j]) lits.emplace_back(&l, b);
      std::vector<std::pair<const literal*, const model*>> pos;
      for (const auto& l : lits) {
        if (l.first->member && !l.first->negated) pos.push_back(l);
      }
      std::vector<int> choice(pos.size(), 0);
      for (;;) {
        bool empty = false;
        for (const auto& p : pos) empty = empty || p.second->sets[static_cast<std::size_t>(p.first->set)].empty();
        if (empty) break;
        case_check cc;
        for (const kd k : a.kinds) {
          cc.w.head.push_back({static_cast<int>(cc.w.var_kinds.size()), k, 0, ""});
          cc.w.var_kinds.push_back(k);
        }
        std::string key = std::to_string(i) + "/" + std::to_string(j) + "/";
        for (std::size_t p = 0; p < pos.size(); ++p) {
          key += std::to_string(choice[p]) + ",";
          const disjunct& d = pos[p].second->sets[static_cast<std::size_t>(pos[p].first->set)][static_cast<std::size_t>(choice[p])];
          const int shift = static_cast<int>(cc.w.var_kinds.size());
          const auto moved = [&](cterm t) {
            if (t.var >= 0) t.var += shift;
            return t;
          };
          cc.w.var_kinds.insert(cc.w.var_kinds.end(), d.var_kinds.begin(), d.var_kinds.end());
          cc.w.tables.insert(cc.w.tables.end(), d.tables.begin(), d.tables.end());
          for (std::vector<int> v : d.atom_vars) {
            for (int& x : v) x += shift;
            cc.w.atom_vars.push_back(v);
          }
          for (const comparison& c : d.comps) cc.w.comps.push_back({c.op, moved(c.x), moved(c.y)});
          for (std::size_t h = 0; h < d.head.size(); ++h) {
            cc.w.comps.push_back({cond_op::eq, moved(d.head[h]), cc.w.head[static_cast<std::size_t>(pos[p].first->args[h])]});
          }
        }
        for (const auto& [l, m] : lits) {
          if (l->member) {
            if (l->negated) cc.negatives.push_back({&m->sets[static_cast<std::size_t>(l->set)], l->args});
            continue;
          }
          const auto term = [&](const operand& o) {
            return o.constant ? cterm{-1, o.k, o.n, o.s} : cc.w.head[static_cast<std::size_t>(o.pos)];
          };
          cc.w.comps.push_back({l->op, term(l->x), term(l->y)});
        }
        const auto it = by_key.find(key);
        if (!cc.refuted(it == by_key.end() ? nullptr : it->second)) return "case " + key + ": " + cc.problem;
        std::size_t k = pos.size();
        while (k > 0 && ++choice[k - 1] == static_cast<int>(pos[k - 1].second->sets[static_cast<std::size_t>(pos[k - 1].first->set)].size())) {
          choice[--k] = 0;
        }
        if (k == 0) break;
      }
    }
  }
  return "";
}

std::string check(const plan& a, const plan& b, bool rows_only, const std::string& certificate) {
  const model ma = read_model(a);
  const model mb = read_model(b);
  if (ma.failed || mb.failed) return "a query fails";
  if (!rows_only && (ma.name != mb.name || ma.colnames != mb.colnames || ma.coltypes != mb.coltypes)) {
    return "the headers differ";
  }
  if (!ma.readable || !mb.readable) return "the checker cannot read a query: " + (ma.readable ? mb.why : ma.why);
  const std::string form = ma.kinds != mb.kinds               ? "empty"
                           : ma.is_ordered && mb.is_ordered   ? "ordered"
                           : ma.is_ordered || mb.is_ordered   ? "empty"
                                                              : "sets";
  try {
    const testjson::value cert = testjson::parse(certificate);
    if (cert["form"].s != form) return "the form is " + cert["form"].s + ", expected " + form;
    const std::vector<testjson::value>& checks = cert["checks"].items;
    if (checks.size() != 2) return "expected two checks";
    for (int k = 0; k < 2; ++k) {
      const testjson::value& c = checks[static_cast<std::size_t>(k)];
      const bool empty = form == "empty";
      if (c["rows_of"].n != k + 1) return "the checks are out of order";
      if (empty ? c["in"].t != testjson::value::type::null : c["in"].n != 2 - k) return "a check of the wrong kind";
      const model& x = k == 0 ? ma : mb;
      const model* y = empty ? nullptr : k == 0 ? &mb : &ma;
      const std::string problem = check_containment(x, y, c["cases"]);
      if (!problem.empty()) return "rows of query " + std::to_string(k + 1) + ": " + problem;
    }
  } catch (const std::exception& e) {
    return std::string("malformed certificate: ") + e.what();
  }
  return "";
}

}  // namespace proofcheck
