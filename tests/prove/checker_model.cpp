// The checker's reading of a plan: headers and kinds worked out from the
// operations' rules, each part without minus as a list of disjuncts, the
// operations above a minus as a formula, and conditions by the language's
// comparison rules; the mixed-kind comparisons are derived by evaluating
// the language's own value comparisons on sample values.
#include <algorithm>
#include <map>

#include "checker.h"
#include "t_object.h"

namespace proofcheck {

namespace {

struct header {
  bool ok = true;
  std::string name;
  std::vector<std::string> cols, types;
};

kd kind_of(const std::string& type) { return type == "int" ? kd::num : kd::str; }

int add(formula& f, fnode n) {
  f.nodes.push_back(n);
  return static_cast<int>(f.nodes.size()) - 1;
}
int yes(formula& f) { return add(f, {fnode::t::yes, -1, -1, -1}); }
int no(formula& f) { return add(f, {fnode::t::no, -1, -1, -1}); }

t_object object_of(const operand& o) { return o.k == kd::num ? t_object(o.n) : t_object(o.s); }

bool compare_objects(cond_op op, const t_object& a, const t_object& b) {
  switch (op) {
    case cond_op::eq: return a == b;
    case cond_op::neq: return a != b;
    case cond_op::lt: return a < b;
    case cond_op::lte: return a <= b;
    case cond_op::gt: return a > b;
    default: return a >= b;
  }
}

// A comparison of x and y with op; two constants are decided at once.
int leaf(formula& f, cond_op op, const operand& x, const operand& y) {
  if (x.constant && y.constant) return compare_objects(op, object_of(x), object_of(y)) ? yes(f) : no(f);
  literal l;
  l.op = op;
  l.x = x;
  l.y = y;
  f.lits.push_back(l);
  return add(f, {fnode::t::lit, -1, -1, static_cast<int>(f.lits.size()) - 1});
}

operand num(int32_t n) {
  operand o;
  o.constant = true;
  o.n = n;
  return o;
}
operand str(const std::string& s) {
  operand o;
  o.constant = true;
  o.k = kd::str;
  o.s = s;
  return o;
}

// An integer n against a string s, n on the left when int_left. EQ and NEQ
// join a test of each operand (the left one's first); the orderings depend
// on n's sign alone, found by trying the language's comparison.
int mixed(formula& f, cond_op op, const operand& n, const operand& s, bool int_left) {
  if (op == cond_op::eq || op == cond_op::neq) {
    const cond_op o = op;
    const int tn = leaf(f, o, n, num(0));
    const int ts = leaf(f, o, s, str(""));
    const int l = int_left ? tn : ts;
    const int r = int_left ? ts : tn;
    return add(f, {op == cond_op::eq ? fnode::t::all : fnode::t::any, l, r, -1});
  }
  bool when[3];  // n < 0, n = 0, n > 0
  for (int sign = -1; sign <= 1; ++sign) {
    const t_object a(sign), b(std::string("'x'"));
    when[sign + 1] = int_left ? compare_objects(op, a, b) : compare_objects(op, b, a);
    const t_object e{std::string()};
    const bool with_empty = int_left ? compare_objects(op, a, e) : compare_objects(op, e, a);
    if (with_empty != when[sign + 1]) return -1;  // never: the string's text plays no part
  }
  if (when[0] && when[1] && when[2]) return yes(f);
  if (!when[0] && !when[1] && !when[2]) return no(f);
  const cond_op o = when[0] && !when[1] && !when[2]   ? cond_op::lt
                    : !when[0] && when[1] && when[2]  ? cond_op::gte
                    : !when[0] && !when[1] && when[2] ? cond_op::gt
                    : when[0] && when[1] && !when[2]  ? cond_op::lte
                    : when[1]                         ? cond_op::eq
                                                      : cond_op::neq;
  return leaf(f, o, n, num(0));
}

class builder {
 public:
  explicit builder(const plan& p, model& m) : p_(p), m_(m) {}

  header head(int i) {
    const plan_node& n = p_.node(i);
    header h;
    const auto operand_ok = [&](int c, header& out) {
      out = head(c);
      return out.ok;
    };
    header l, r;
    switch (n.op) {
      case plan_op::table: {
        const stored_table& t = p_.table_of(n);
        return {true, t.name, t.colnames, t.coltypes};
      }
      case plan_op::union_:
      case plan_op::minus:
      case plan_op::product:
        if (!operand_ok(n.left, l) || !operand_ok(n.right, r)) return {false, {}, {}, {}};
        if (n.op != plan_op::product) return {true, n.op == plan_op::union_ ? l.name : "", l.cols, l.types};
        {
          std::vector<std::pair<std::string, std::string>> both;
          for (std::size_t k = 0; k < l.cols.size(); ++k) both.emplace_back(l.cols[k], l.types[k]);
          for (std::size_t k = 0; k < r.cols.size(); ++k) both.emplace_back(r.cols[k], r.types[k]);
          std::sort(both.begin(), both.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
          for (std::size_t k = 0; k < both.size(); ++k) {
            if (k > 0 && both[k].first == both[k - 1].first) return {false, {}, {}, {}};
            h.cols.push_back(both[k].first);
            h.types.push_back(both[k].second);
          }
          return h;
        }
      case plan_op::project: {
        if (!operand_ok(n.left, l) || l.cols.empty()) return {false, {}, {}, {}};
        for (const int k : picks(i, l)) {
          h.cols.push_back(l.cols[static_cast<std::size_t>(k)]);
          h.types.push_back(l.types[static_cast<std::size_t>(k)]);
        }
        return h;
      }
      case plan_op::rename: {
        const std::vector<plan_name>& names = p_.names_of(n);
        if (!operand_ok(n.left, l) || names.size() < l.cols.size() + 1) return {false, {}, {}, {}};
        h.name = names[0].text;
        for (std::size_t k = 0; k < l.cols.size(); ++k) h.cols.push_back(names[k + 1].text);
        h.types = l.types;
        return h;
      }
      case plan_op::select:
        if (!operand_ok(n.left, l) || p_.condition_of(n).first_fail >= 0) return {false, {}, {}, {}};
        return {true, "", l.cols, l.types};
      default:
        return {false, {}, {}, {}};
    }
  }

  // The column each listed name of a projection takes: the last of that
  // name, or the first column.
  std::vector<int> picks(int i, const header& l) const {
    std::vector<int> out;
    for (const plan_name& x : p_.names_of(p_.node(i))) {
      int at = 0;
      for (std::size_t k = 0; k < l.cols.size(); ++k) {
        if (l.cols[k] == x.text) at = static_cast<int>(k);
      }
      out.push_back(at);
    }
    return out;
  }

  std::vector<kd> kinds(int i) {
    std::vector<kd> out;
    for (const std::string& t : head(i).types) out.push_back(kind_of(t));
    const plan_node& n = p_.node(i);
    if (n.op == plan_op::union_ || n.op == plan_op::minus) {
      if (kinds(n.left) != kinds(n.right)) unreadable("unlike operands");
    }
    if (n.op != plan_op::table && n.left >= 0) kinds(n.left);  // checks below
    if (n.right >= 0) kinds(n.right);
    return out;
  }

  bool has_minus(int i) const {
    const plan_node& n = p_.node(i);
    return n.op == plan_op::minus || (n.left >= 0 && has_minus(n.left)) || (n.right >= 0 && has_minus(n.right));
  }

  int condition(const plan_node& n, const header& h, formula& f) {
    std::vector<kd> k;
    for (const std::string& t : h.types) k.push_back(kind_of(t));
    return cond(p_.condition_of(n).root, h, k, f);
  }

  int cond(int c, const header& h, const std::vector<kd>& kinds, formula& f) {
    const cond_node& n = p_.cond(c);
    if (n.op == cond_op::not_) return add(f, {fnode::t::neg, cond(n.left, h, kinds, f), -1, -1});
    if (n.op == cond_op::and_ || n.op == cond_op::or_) {
      const int a = cond(n.left, h, kinds, f);
      const int b = cond(n.right, h, kinds, f);
      return add(f, {n.op == cond_op::and_ ? fnode::t::all : fnode::t::any, a, b, -1});
    }
    if (n.op != cond_op::eq && n.op != cond_op::neq && n.op != cond_op::lt && n.op != cond_op::lte &&
        n.op != cond_op::gt && n.op != cond_op::gte) {
      return yes(f);
    }
    const auto read = [&](const cond_operand& o) {
      if (o.is_literal) return o.is_int ? num(o.ival) : str(o.text);
      operand x = num(0);
      for (std::size_t k = 0; k < h.cols.size(); ++k) {
        if (h.cols[k] == o.text) {
          x.constant = false;
          x.pos = static_cast<int>(k);
          x.k = kinds[k];
        }
      }
      return x;
    };
    const operand x = read(p_.conds.x(n));
    const operand y = read(p_.conds.y(n));
    if (x.k == y.k || (x.constant && y.constant)) return leaf(f, n.op, x, y);
    return x.k == kd::num ? mixed(f, n.op, x, y, true) : mixed(f, n.op, y, x, false);
  }

  std::vector<disjunct> sets(int i) {
    const plan_node& n = p_.node(i);
    const header h = head(i);
    std::vector<disjunct> out;
    if (n.op == plan_op::table) {
      disjunct d;
      d.tables.push_back(p_.table_of(n).name);
      d.atom_vars.emplace_back();
      for (const std::string& t : h.types) {
        d.atom_vars[0].push_back(static_cast<int>(d.var_kinds.size()));
        d.head.push_back({static_cast<int>(d.var_kinds.size()), kind_of(t), 0, ""});
        d.var_kinds.push_back(kind_of(t));
      }
      out.push_back(d);
    } else if (n.op == plan_op::rename) {
      out = sets(n.left);
    } else if (n.op == plan_op::union_) {
      out = sets(n.left);
      for (disjunct& d : sets(n.right)) out.push_back(std::move(d));
    } else if (n.op == plan_op::project) {
      for (disjunct d : sets(n.left)) {
        std::vector<cterm> head;
        for (const int k : picks(i, this->head(n.left))) head.push_back(d.head[static_cast<std::size_t>(k)]);
        d.head = head;
        out.push_back(d);
      }
    } else if (n.op == plan_op::select) {
      formula f;
      const int root = condition(n, head(n.left), f);
      const normal_form nf = normalize(f, root, false);
      for (const disjunct& d : sets(n.left)) {
        for (const std::vector<literal>& conj : nf) {
          disjunct e = d;
          for (const literal& l : conj) {
            const auto term = [&](const operand& o) {
              return o.constant ? cterm{-1, o.k, o.n, o.s} : d.head[static_cast<std::size_t>(o.pos)];
            };
            e.comps.push_back({l.op, term(l.x), term(l.y)});
          }
          out.push_back(e);
        }
      }
    } else if (n.op == plan_op::product) {
      const std::vector<int> place = layout(n);
      for (const disjunct& a : sets(n.left)) {
        for (const disjunct& b : sets(n.right)) {
          disjunct c = a;
          const int shift = static_cast<int>(a.var_kinds.size());
          const auto moved = [&](cterm t) {
            if (t.var >= 0) t.var += shift;
            return t;
          };
          c.var_kinds.insert(c.var_kinds.end(), b.var_kinds.begin(), b.var_kinds.end());
          c.tables.insert(c.tables.end(), b.tables.begin(), b.tables.end());
          for (std::vector<int> vars : b.atom_vars) {
            for (int& v : vars) v += shift;
            c.atom_vars.push_back(vars);
          }
          for (const comparison& k : b.comps) c.comps.push_back({k.op, moved(k.x), moved(k.y)});
          std::vector<cterm> joined = a.head;
          for (const cterm& t : b.head) joined.push_back(moved(t));
          c.head.assign(joined.size(), cterm{});
          for (std::size_t e = 0; e < joined.size(); ++e) c.head[static_cast<std::size_t>(place[e])] = joined[e];
          out.push_back(c);
        }
      }
    } else {
      unreadable("an operation it cannot read");
    }
    return out;
  }

  // Where each column of a product's operands (left's, then right's) goes.
  std::vector<int> layout(const plan_node& n) {
    std::vector<std::string> names = head(n.left).cols;
    for (const std::string& c : head(n.right).cols) names.push_back(c);
    std::vector<int> place;
    for (const std::string& c : names) {
      place.push_back(static_cast<int>(std::count_if(names.begin(), names.end(), [&](const std::string& o) { return o < c; })));
    }
    return place;
  }

  int phi(int i, const std::vector<int>& to) {
    formula& f = m_.phi;
    const plan_node& n = p_.node(i);
    if (!has_minus(i)) {
      m_.sets.push_back(sets(i));
      literal l;
      l.member = true;
      l.set = static_cast<int>(m_.sets.size()) - 1;
      l.args = to;
      f.lits.push_back(l);
      return add(f, {fnode::t::lit, -1, -1, static_cast<int>(f.lits.size()) - 1});
    }
    if (n.op == plan_op::rename) return phi(n.left, to);
    if (n.op == plan_op::union_) {
      const int a = phi(n.left, to);
      return add(f, {fnode::t::any, a, phi(n.right, to), -1});
    }
    if (n.op == plan_op::minus) {
      const int a = phi(n.left, to);
      const int b = add(f, {fnode::t::neg, phi(n.right, to), -1, -1});
      return add(f, {fnode::t::all, a, b, -1});
    }
    if (n.op == plan_op::product) {
      const std::vector<int> place = layout(n);
      const std::size_t nl = head(n.left).cols.size();
      std::vector<int> tl, tr;
      for (std::size_t e = 0; e < place.size(); ++e) (e < nl ? tl : tr).push_back(to[static_cast<std::size_t>(place[e])]);
      const int a = phi(n.left, tl);
      return add(f, {fnode::t::all, a, phi(n.right, tr), -1});
    }
    if (n.op == plan_op::select) {
      const int a = phi(n.left, to);
      const std::size_t first = f.lits.size();
      const int c = condition(n, head(n.left), f);
      for (std::size_t k = first; k < f.lits.size(); ++k) {
        for (operand* o : {&f.lits[k].x, &f.lits[k].y}) {
          if (!o->constant) o->pos = to[static_cast<std::size_t>(o->pos)];
        }
      }
      return add(f, {fnode::t::all, a, c, -1});
    }
    unreadable("minus under a projection");
    return -1;
  }

  void unreadable(const std::string& why) {
    if (m_.readable) m_.why = why;
    m_.readable = false;
  }

 private:
  const plan& p_;
  model& m_;
};

}  // namespace

model read_model(const plan& p) {
  model m;
  builder b(p, m);
  const header h = b.head(p.root);
  if (!h.ok) {
    m.failed = true;
    return m;
  }
  m.name = h.name;
  m.colnames = h.cols;
  m.coltypes = h.types;
  m.kinds = b.kinds(p.root);
  if (!m.readable) return m;
  std::vector<int> identity;
  for (std::size_t k = 0; k < m.kinds.size(); ++k) identity.push_back(static_cast<int>(k));
  m.root = b.phi(p.root, identity);
  int i = p.root;
  while (p.node(i).op == plan_op::select || p.node(i).op == plan_op::rename) i = p.node(i).left;
  if (p.node(i).op == plan_op::table) {
    m.is_ordered = true;
    m.ordered = p.table_of(p.node(i)).name;
  }
  return m;
}

normal_form normalize(const formula& f, int node, bool negated) {
  const fnode& n = f.nodes[static_cast<std::size_t>(node)];
  switch (n.what) {
    case fnode::t::yes: return negated ? normal_form{} : normal_form{{}};
    case fnode::t::no: return negated ? normal_form{{}} : normal_form{};
    case fnode::t::neg: return normalize(f, n.a, !negated);
    case fnode::t::lit: {
      literal l = f.lits[static_cast<std::size_t>(n.lit)];
      if (negated) {
        if (l.member) {
          l.negated = !l.negated;
        } else {
          static const std::map<cond_op, cond_op> opposite = {
              {cond_op::eq, cond_op::neq}, {cond_op::neq, cond_op::eq}, {cond_op::lt, cond_op::gte},
              {cond_op::gte, cond_op::lt}, {cond_op::lte, cond_op::gt}, {cond_op::gt, cond_op::lte}};
          l.op = opposite.at(l.op);
        }
      }
      return {{l}};
    }
    default: break;
  }
  const normal_form x = normalize(f, n.a, negated);
  const normal_form y = normalize(f, n.b, negated);
  if ((n.what == fnode::t::any) != negated) {  // a disjunction
    normal_form out = x;
    out.insert(out.end(), y.begin(), y.end());
    return out;
  }
  normal_form out;
  for (const auto& a : x) {
    for (const auto& b : y) {
      std::vector<literal> c = a;
      c.insert(c.end(), b.begin(), b.end());
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace proofcheck
