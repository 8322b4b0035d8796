// Refuting a case: the terms that matter laid out in every preorder of
// each kind (integers outer, strings inner), and in each a map looked for,
// the maps already found tried first.
#include "prove/refute.h"

#include <algorithm>
#include <map>
#include <set>

#include "prove/implied.h"
#include "prove/preorder.h"

namespace prove {

namespace {

using value_key = std::pair<int32_t, std::string>;

value_key key_of(const value& v) { return {v.i, v.s}; }

// One kind's part of the problem, with the slot of each term of W in it.
struct kind_part {
  order_problem problem;
  kind_layout layout;
  std::map<value_key, int32_t> constant_slot;
};

}  // namespace

refutation refute(const proof_case& c, std::size_t& budget, std::size_t& steps, const usable_fn& usable) {
  const conjunct& w = c.w;
  refutation r;

  // Columns some disjunct of a membership compares, and its constants.
  std::set<std::pair<const stored_table*, std::size_t>> compared_columns;
  std::vector<value> constants;
  for (const negative& n : c.negatives) {
    for (const conjunct& e : n.u->disjuncts) {
      if (e.dead) continue;
      std::vector<bool> compared(e.terms.size(), false);
      for (const comparison& k : e.comps) {
        compared[static_cast<std::size_t>(k.a)] = true;
        compared[static_cast<std::size_t>(k.b)] = true;
      }
      for (const atom& a : e.atoms) {
        for (std::size_t col = 0; col < a.args.size(); ++col) {
          if (compared[static_cast<std::size_t>(a.args[col])]) compared_columns.insert({a.table, col});
        }
      }
      for (const term& t : e.terms) {
        if (t.constant) constants.push_back(t.v);
      }
    }
  }
  std::vector<bool> matters(w.terms.size(), false);
  for (const comparison& k : w.comps) {
    matters[static_cast<std::size_t>(k.a)] = true;
    matters[static_cast<std::size_t>(k.b)] = true;
  }
  for (const atom& a : w.atoms) {
    for (std::size_t col = 0; col < a.args.size(); ++col) {
      if (compared_columns.count({a.table, col}) != 0) matters[static_cast<std::size_t>(a.args[col])] = true;
    }
  }
  for (std::size_t t = 0; t < w.terms.size(); ++t) {
    if (w.terms[t].constant) constants.push_back(w.terms[t].v);
  }

  // A map that holds in every preorder: every term a class of its own, and
  // only the comparisons W implies.
  {
    const implied_order implied(w, constants);
    std::vector<int64_t> own(w.terms.size());
    for (std::size_t t = 0; t < own.size(); ++t) own[t] = static_cast<int64_t>(t);
    const matcher m(
        w, own, [&](rel rl, int64_t x, int64_t y) { return implied.holds(rl, x, y); },
        [&](const value& v) { return implied.node_of(v); });
    for (std::size_t k = 0; k < c.negatives.size(); ++k) {
      homomorphism h;
      if (m.find(*c.negatives[k].u, c.negatives[k].args, h, steps)) {
        r.maps.emplace_back(static_cast<int32_t>(k), std::move(h));
        return r;
      }
    }
    if (steps == 0) {
      r.result = refutation::outcome::gave_up;
      return r;
    }
  }

  kind_part parts[2];
  parts[0].problem.k = parts[0].layout.k = kind::integer;
  parts[1].problem.k = parts[1].layout.k = kind::text;
  std::sort(constants.begin(), constants.end(),
            [](const value& x, const value& y) { return compare_values(x, y) < 0; });
  constants.erase(std::unique(constants.begin(), constants.end()), constants.end());
  for (const value& v : constants) {
    kind_part& p = parts[v.k == kind::integer ? 0 : 1];
    p.constant_slot[key_of(v)] = static_cast<int32_t>(p.problem.constants.size());
    p.problem.constants.push_back(v);
  }
  for (kind_part& p : parts) p.layout.constants = p.problem.constants;
  std::vector<int32_t> slot(w.terms.size(), -1);
  for (std::size_t t = 0; t < w.terms.size(); ++t) {
    const term& x = w.terms[t];
    kind_part& p = parts[x.k == kind::integer ? 0 : 1];
    if (x.constant) {
      slot[t] = p.constant_slot.at(key_of(x.v));
    } else if (matters[t]) {
      slot[t] = static_cast<int32_t>(p.problem.constants.size()) + p.problem.variables++;
      p.layout.terms.push_back(static_cast<int32_t>(t));
    }
  }
  for (const comparison& k : w.comps) {
    kind_part& p = parts[w.terms[static_cast<std::size_t>(k.a)].k == kind::integer ? 0 : 1];
    p.problem.comps.push_back({k.r, slot[static_cast<std::size_t>(k.a)], slot[static_cast<std::size_t>(k.b)]});
  }

  std::vector<int64_t> classes(w.terms.size());
  bool gave_up = false;
  bool holds = false;
  bool unusable = false;
  const std::vector<int32_t>* int_rank = nullptr;
  const auto visit_texts = [&](const std::vector<int32_t>& text_rank) {
    if (budget == 0) {
      gave_up = true;
      return false;
    }
    --budget;
    ++r.preorders;
    // Integer classes first, then string classes, each ascending; every
    // term outside the preorder a class of its own after them.
    int64_t ints = 0, texts = 0;
    for (const int32_t x : *int_rank) ints = std::max<int64_t>(ints, x + 1);
    for (const int32_t x : text_rank) texts = std::max<int64_t>(texts, x + 1);
    const auto class_at = [&](kind k, int32_t s) {
      return k == kind::integer ? (*int_rank)[static_cast<std::size_t>(s)]
                                : ints + text_rank[static_cast<std::size_t>(s)];
    };
    for (std::size_t t = 0; t < w.terms.size(); ++t) {
      classes[t] = slot[t] >= 0 ? class_at(w.terms[t].k, slot[t]) : ints + texts + static_cast<int64_t>(t);
    }
    const auto in_order = [&](rel rl, int64_t x, int64_t y) {
      const bool xi = x >= 0 && x < ints, yi = y >= 0 && y < ints;
      const bool xt = x >= ints && x < ints + texts, yt = y >= ints && y < ints + texts;
      if (!((xi && yi) || (xt && yt))) return false;
      switch (rl) {
        case rel::eq: return x == y;
        case rel::ne: return x != y;
        case rel::lt: return x < y;
        case rel::le: return x <= y;
      }
      return false;
    };
    const matcher m(w, classes, in_order, [&](const value& v) -> int64_t {
      const kind_part& p = parts[v.k == kind::integer ? 0 : 1];
      const auto it = p.constant_slot.find(key_of(v));
      return it == p.constant_slot.end() ? -1 : class_at(v.k, it->second);
    });
    for (std::size_t k = 0; k < c.negatives.size(); ++k) {
      const negative& n = c.negatives[k];
      for (const auto& [which, h] : r.maps) {
        if (which == static_cast<int32_t>(k) && m.verify(*n.u, n.args, h)) return true;
      }
      homomorphism h;
      if (m.find(*n.u, n.args, h, steps)) {
        r.maps.emplace_back(static_cast<int32_t>(k), std::move(h));
        return true;
      }
      if (steps == 0) {
        gave_up = true;
        return false;
      }
    }
    parts[0].layout.rank = *int_rank;
    parts[1].layout.rank = text_rank;
    if (usable && !usable(parts[0].layout, parts[1].layout)) {
      unusable = true;
      return true;
    }
    holds = true;
    return false;
  };
  each_preorder(parts[0].problem, [&](const std::vector<int32_t>& rank) {
    int_rank = &rank;
    return each_preorder(parts[1].problem, visit_texts);
  });
  r.result = holds      ? refutation::outcome::holds
             : gave_up  ? refutation::outcome::gave_up
             : unusable ? refutation::outcome::unusable
                        : refutation::outcome::refuted;
  if (holds) {
    r.ints = std::move(parts[0].layout);
    r.texts = std::move(parts[1].layout);
  }
  return r;
}

}  // namespace prove
