// Expanding a containment into cases: pairs of conjunctions, choices of
// disjuncts, and the conjunct each makes.
#include "prove/cases.h"

#include "prove/condition.h"

namespace prove {

namespace {

struct positive {
  const ucq* u;
  const leaf* l;
};

struct builder {
  const std::vector<kind>& kinds;
  std::vector<positive> pos;
  std::vector<negative> negs;
  std::vector<const leaf*> comps;

  void take(const std::vector<leaf>& conj, const query_form& q) {
    for (const leaf& l : conj) {
      if (!l.member) {
        comps.push_back(&l);
      } else if (l.negated) {
        negs.push_back({&q.ucqs[static_cast<std::size_t>(l.ucq)], l.args});
      } else {
        pos.push_back({&q.ucqs[static_cast<std::size_t>(l.ucq)], &l});
      }
    }
  }

  // W for one choice; false when a chosen disjunct is dead.
  bool make(const std::vector<int32_t>& choices, proof_case& out) const {
    conjunct& w = out.w;
    w = conjunct();
    for (const kind k : kinds) {
      term t;
      t.k = k;
      w.add(std::move(t));
    }
    for (std::size_t p = 0; p < pos.size(); ++p) {
      const conjunct& c = pos[p].u->disjuncts[static_cast<std::size_t>(choices[p])];
      if (c.dead) return false;
      const auto offset = static_cast<int32_t>(w.terms.size());
      const auto atoms = static_cast<int32_t>(w.atoms.size());
      for (term t : c.terms) {
        if (!t.constant) t.atom += atoms;
        w.terms.push_back(std::move(t));
      }
      for (atom a : c.atoms) {
        for (int32_t& x : a.args) x += offset;
        w.atoms.push_back(std::move(a));
      }
      for (const comparison& k : c.comps) w.comps.push_back({k.r, k.a + offset, k.b + offset});
      const std::vector<int32_t>& args = pos[p].l->args;
      for (std::size_t k = 0; k < c.head.size(); ++k) {
        w.comps.push_back({rel::eq, c.head[k] + offset, args[k]});
      }
    }
    for (const leaf* l : comps) {
      const auto term_of = [&](const operand& o) { return o.constant ? w.add_constant(o.v) : o.position; };
      const int32_t a = term_of(l->a);
      w.comps.push_back({l->r, a, term_of(l->b)});
    }
    std::vector<int32_t> map;
    compact(w, &map);
    out.output.assign(map.begin(), map.begin() + static_cast<std::ptrdiff_t>(kinds.size()));
    out.negatives = negs;
    for (negative& n : out.negatives) {
      for (int32_t& x : n.args) x = out.output[static_cast<std::size_t>(x)];
    }
    return !w.dead;
  }
};

}  // namespace

bool each_case(const query_form& a, const query_form* b, std::size_t limit,
               const std::function<bool(proof_case&)>& visit) {
  const dnf da = to_dnf(a.phi, a.root, false, limit);
  const dnf db = b != nullptr ? to_dnf(b->phi, b->root, true, limit) : dnf{{}};
  std::size_t count = 0;
  for (std::size_t i = 0; i < da.size(); ++i) {
    for (std::size_t j = 0; j < db.size(); ++j) {
      builder bl{a.kinds, {}, {}, {}};
      bl.take(da[i], a);
      if (b != nullptr) bl.take(db[j], *b);
      // Choices in lexicographic order, the last membership fastest.
      std::vector<int32_t> choices(bl.pos.size(), 0);
      bool empty = false;
      for (const positive& p : bl.pos) empty = empty || p.u->disjuncts.empty();
      while (!empty) {
        if (++count > limit) throw outside("the proof splits into more than " + std::to_string(limit) + " cases");
        proof_case c;
        c.i = i;
        c.j = j;
        c.choices = choices;
        if (bl.make(choices, c) && !visit(c)) return false;
        std::size_t k = choices.size();
        while (k > 0) {
          --k;
          if (++choices[k] < static_cast<int32_t>(bl.pos[k].u->disjuncts.size())) break;
          choices[k] = 0;
          if (k == 0) empty = true;
        }
        if (choices.empty()) break;
      }
    }
  }
  return true;
}

}  // namespace prove
