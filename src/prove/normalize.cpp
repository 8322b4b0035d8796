// Reading a plan into unions of conjunctive queries and a formula over them.
#include "prove/normalize.h"

#include <map>
#include <numeric>

#include "engine/operators.h"

namespace prove {

kind kind_of_type(const std::string& type_word) { return type_word == "int" ? kind::integer : kind::text; }

namespace {

class reader {
 public:
  reader(const plan& p, const std::vector<node_schema>& s, std::size_t limit, query_form& q)
      : p_(p), s_(s), limit_(limit), q_(q), minus_(p.nodes.size(), -1) {}

  // The kinds of node i's columns (computed once per node).
  const std::vector<kind>& kinds(int32_t i) {
    auto [it, fresh] = kinds_.try_emplace(i);
    if (fresh) it->second = find_kinds(i);
    return it->second;
  }

  std::vector<kind> find_kinds(int32_t i) {
    const node_schema& s = s_[static_cast<std::size_t>(i)];
    const plan_node& n = p_.node(i);
    if (n.op == plan_op::union_ || n.op == plan_op::minus) {
      const std::vector<kind> l = kinds(n.left);
      if (l != kinds(n.right)) {
        throw outside(std::string(n.op == plan_op::union_ ? "union" : "minus") +
                      " of operands whose columns differ in number or kind");
      }
      return l;
    }
    if (n.op == plan_op::product) {
      std::vector<kind> k = kinds(n.left);
      const std::vector<kind> r = kinds(n.right);
      k.insert(k.end(), r.begin(), r.end());
      std::vector<kind> out(k.size());
      const std::vector<int>& place = layout(i);
      for (std::size_t e = 0; e < k.size(); ++e) out[static_cast<std::size_t>(place[e])] = k[e];
      return out;
    }
    if (n.op == plan_op::project) {
      const std::vector<kind> l = kinds(n.left);
      std::vector<kind> out;
      for (const int x : positions(i)) out.push_back(l[static_cast<std::size_t>(x)]);
      return out;
    }
    if (n.op == plan_op::table) {
      std::vector<kind> out;
      for (const std::string& t : s.coltypes) out.push_back(kind_of_type(t));
      return out;
    }
    return kinds(n.left);  // select, rename
  }

  bool has_minus(int32_t i) {
    int8_t& m = minus_[static_cast<std::size_t>(i)];
    if (m < 0) {
      const plan_node& n = p_.node(i);
      m = n.op == plan_op::minus || (n.left >= 0 && has_minus(n.left)) || (n.right >= 0 && has_minus(n.right));
    }
    return m != 0;
  }

  ucq build(int32_t i) {
    const plan_node& n = p_.node(i);
    switch (n.op) {
      case plan_op::table: return table(i);
      case plan_op::select: return select(i);
      case plan_op::rename: return build(n.left);
      case plan_op::project: {
        ucq u = build(n.left);
        const std::vector<int> idx = positions(i);
        std::vector<kind> k;
        for (const int x : idx) k.push_back(u.kinds[static_cast<std::size_t>(x)]);
        for (conjunct& c : u.disjuncts) {
          std::vector<int32_t> head;
          for (const int x : idx) head.push_back(c.head[static_cast<std::size_t>(x)]);
          c.head = std::move(head);
        }
        u.kinds = std::move(k);
        return u;
      }
      case plan_op::union_: {
        kinds(i);  // refuses unlike operands
        ucq u = build(n.left);
        ucq r = build(n.right);
        check(u.disjuncts.size() + r.disjuncts.size());
        for (conjunct& c : r.disjuncts) u.disjuncts.push_back(std::move(c));
        return u;
      }
      case plan_op::product: return product(i);
      default: throw outside("an operation that is not modelled");
    }
  }

  // The formula of node i's rows, its positions sent through `to` (node i's
  // column k is position to[k] of the output).
  int32_t phi(int32_t i, const std::vector<int32_t>& to) {
    formula& f = q_.phi;
    if (!has_minus(i)) {
      q_.ucqs.push_back(build(i));
      leaf l;
      l.member = true;
      l.ucq = static_cast<int32_t>(q_.ucqs.size()) - 1;
      l.args = to;
      return f.add_leaf(std::move(l));
    }
    const plan_node& n = p_.node(i);
    switch (n.op) {
      case plan_op::minus:
      case plan_op::union_: {
        kinds(i);
        const int32_t a = phi(n.left, to);
        const int32_t b = phi(n.right, to);
        return n.op == plan_op::union_ ? f.either(a, b) : f.both(a, f.negation(b));
      }
      case plan_op::product: {
        const std::vector<int>& place = layout(i);
        const std::size_t nl = s_[static_cast<std::size_t>(n.left)].colnames.size();
        std::vector<int32_t> tl, tr;
        for (std::size_t e = 0; e < place.size(); ++e) {
          (e < nl ? tl : tr).push_back(to[static_cast<std::size_t>(place[e])]);
        }
        const int32_t a = phi(n.left, tl);
        return f.both(a, phi(n.right, tr));
      }
      case plan_op::select: {
        const int32_t a = phi(n.left, to);
        const std::size_t first = f.leaves.size();
        const int32_t c = translate_condition(p_, p_.condition_of(n).root,
                                              s_[static_cast<std::size_t>(n.left)].colnames, kinds(n.left), f);
        for (std::size_t k = first; k < f.leaves.size(); ++k) {
          for (operand* o : {&f.leaves[k].a, &f.leaves[k].b}) {
            if (!o->constant) o->position = to[static_cast<std::size_t>(o->position)];
          }
        }
        return f.both(a, c);
      }
      case plan_op::rename: return phi(n.left, to);
      case plan_op::project: throw outside("minus under a projection");
      default: throw outside("an operation that is not modelled");
    }
  }

 private:
  void check(std::size_t n) const {
    if (n > limit_) throw outside("the query expands to more than " + std::to_string(limit_) + " cases");
  }

  std::vector<int> positions(int32_t i) const {
    std::vector<std::string> names;
    for (const plan_name& x : p_.names_of(p_.node(i))) names.push_back(x.text);
    return project_positions(s_[static_cast<std::size_t>(p_.node(i).left)].colnames, names);
  }

  // Where each column of a product's operands (left's, then right's) goes.
  const std::vector<int>& layout(int32_t i) const { return s_[static_cast<std::size_t>(i)].place; }

  ucq table(int32_t i) {
    const stored_table& t = p_.table_of(p_.node(i));
    ucq u;
    u.kinds = kinds(i);
    conjunct c;
    atom a;
    a.table = &t;
    for (std::size_t k = 0; k < t.width(); ++k) {
      term x;
      x.k = u.kinds[k];
      x.atom = 0;
      x.column = static_cast<int32_t>(k);
      a.args.push_back(c.add(std::move(x)));
    }
    c.head = a.args;
    c.atoms.push_back(std::move(a));
    u.disjuncts.push_back(std::move(c));
    return u;
  }

  ucq select(int32_t i) {
    const plan_node& n = p_.node(i);
    ucq u = build(n.left);
    formula f;
    const int32_t root = translate_condition(p_, p_.condition_of(n).root,
                                             s_[static_cast<std::size_t>(n.left)].colnames, u.kinds, f);
    const dnf d = to_dnf(f, root, false, limit_);
    check(u.disjuncts.size() * d.size());
    ucq out;
    out.kinds = u.kinds;
    for (const conjunct& c : u.disjuncts) {
      for (const std::vector<leaf>& conj : d) {
        conjunct x = c;
        if (!x.dead) {
          for (const leaf& l : conj) {
            const auto term_of = [&](const operand& o) {
              return o.constant ? x.add_constant(o.v) : x.head[static_cast<std::size_t>(o.position)];
            };
            const int32_t a = term_of(l.a);
            x.comps.push_back({l.r, a, term_of(l.b)});
          }
          compact(x);
        }
        out.disjuncts.push_back(std::move(x));
      }
    }
    return out;
  }

  ucq product(int32_t i) {
    const plan_node& n = p_.node(i);
    const ucq l = build(n.left);
    const ucq r = build(n.right);
    check(l.disjuncts.size() * r.disjuncts.size());
    const std::vector<int>& place = layout(i);
    ucq out;
    out.kinds = kinds(i);
    for (const conjunct& a : l.disjuncts) {
      for (const conjunct& b : r.disjuncts) {
        conjunct c = a;
        c.dead = a.dead || b.dead;
        const auto offset = static_cast<int32_t>(a.terms.size());
        const auto atoms = static_cast<int32_t>(a.atoms.size());
        for (term t : b.terms) {
          if (!t.constant) t.atom += atoms;
          c.terms.push_back(std::move(t));
        }
        for (atom x : b.atoms) {
          for (int32_t& v : x.args) v += offset;
          c.atoms.push_back(std::move(x));
        }
        for (comparison k : b.comps) c.comps.push_back({k.r, k.a + offset, k.b + offset});
        std::vector<int32_t> joined = a.head;
        for (const int32_t h : b.head) joined.push_back(h + offset);
        c.head.assign(joined.size(), -1);
        for (std::size_t e = 0; e < joined.size(); ++e) c.head[static_cast<std::size_t>(place[e])] = joined[e];
        out.disjuncts.push_back(std::move(c));
      }
    }
    return out;
  }

  const plan& p_;
  const std::vector<node_schema>& s_;
  std::size_t limit_;
  query_form& q_;
  std::vector<int8_t> minus_;
  std::map<int32_t, std::vector<kind>> kinds_;
};

}  // namespace

query_form normalize(const plan& p, const std::vector<node_schema>& schemas, std::size_t limit) {
  query_form q;
  reader r(p, schemas, limit, q);
  q.kinds = r.kinds(p.root);
  std::vector<int32_t> identity(q.kinds.size());
  std::iota(identity.begin(), identity.end(), 0);
  q.root = r.phi(p.root, identity);
  int32_t i = p.root;
  while (p.node(i).op == plan_op::select || p.node(i).op == plan_op::rename) i = p.node(i).left;
  if (p.node(i).op == plan_op::table) q.ordered = &p.table_of(p.node(i));
  return q;
}

}  // namespace prove
