// Conditions into formulas by the language's comparison rules, and formulas
// into disjunctive normal form.
#include "prove/condition.h"

#include "t_object.h"

namespace prove {

namespace {

value integer(int32_t n) { return value::of_int(n); }
value empty_text() { return value::of_text(""); }

operand constant(value v) {
  operand o;
  o.constant = true;
  o.v = std::move(v);
  return o;
}

kind kind_of(const operand& o, const std::vector<kind>& kinds) {
  return o.constant ? o.v.k : kinds[static_cast<std::size_t>(o.position)];
}

t_object as_object(const value& v) { return v.k == kind::integer ? t_object(v.i) : t_object(v.s); }

// A condition's operand: a literal, the last column of that name, or the
// integer 0 for a name the operand lacks.
operand resolve(const cond_operand& o, const std::vector<std::string>& colnames) {
  if (o.is_literal) return constant(o.is_int ? integer(o.ival) : value::of_text(o.text));
  for (std::size_t i = colnames.size(); i-- > 0;) {
    if (colnames[i] == o.text) {
      operand x;
      x.position = static_cast<int32_t>(i);
      return x;
    }
  }
  return constant(integer(0));
}

bool decide_constants(cond_op op, const value& x, const value& y) {
  const t_object a = as_object(x);
  const t_object b = as_object(y);
  switch (op) {
    case cond_op::eq: return a == b;
    case cond_op::neq: return a != b;
    case cond_op::lt: return a < b;
    case cond_op::lte: return a <= b;
    case cond_op::gt: return a > b;
    case cond_op::gte: return a >= b;
    default: return true;
  }
}

int32_t compare(formula& f, cond_op op, const operand& x, const operand& y,
                const std::vector<kind>& kinds) {
  if (x.constant && y.constant) return decide_constants(op, x.v, y.v) ? f.truth() : f.falsity();
  const kind kx = kind_of(x, kinds);
  const kind ky = kind_of(y, kinds);
  if (kx == ky) {
    switch (op) {
      case cond_op::eq: return comparison_node(f, rel::eq, x, y);
      case cond_op::neq: return comparison_node(f, rel::ne, x, y);
      case cond_op::lt: return comparison_node(f, rel::lt, x, y);
      case cond_op::lte: return comparison_node(f, rel::le, x, y);
      case cond_op::gt: return comparison_node(f, rel::lt, y, x);
      case cond_op::gte: return comparison_node(f, rel::le, y, x);
      default: return f.truth();
    }
  }
  // An integer and a string: the string's integer field is 0 and the
  // integer's text is empty. < reads its left operand's kind; GT is
  // "right < left" and LTE "not right < left", so they read the right one's.
  const operand zero = constant(integer(0));
  const operand empty = constant(empty_text());
  const bool int_left = kx == kind::integer;
  const operand& n = int_left ? x : y;
  const operand& s = int_left ? y : x;
  switch (op) {
    case cond_op::eq: {
      const int32_t l = int_left ? comparison_node(f, rel::eq, n, zero) : comparison_node(f, rel::eq, s, empty);
      const int32_t r = int_left ? comparison_node(f, rel::eq, s, empty) : comparison_node(f, rel::eq, n, zero);
      return f.both(l, r);
    }
    case cond_op::neq: {
      const int32_t l = int_left ? comparison_node(f, rel::ne, n, zero) : comparison_node(f, rel::ne, s, empty);
      const int32_t r = int_left ? comparison_node(f, rel::ne, s, empty) : comparison_node(f, rel::ne, n, zero);
      return f.either(l, r);
    }
    case cond_op::lt:  // int left: n < 0; string left: s < '' never
      return int_left ? comparison_node(f, rel::lt, n, zero) : f.falsity();
    case cond_op::gte:  // not LT
      return int_left ? comparison_node(f, rel::le, zero, n) : f.truth();
    case cond_op::gt:  // right < left: string right never; int right: n < 0
      return int_left ? f.falsity() : comparison_node(f, rel::lt, n, zero);
    case cond_op::lte:  // not GT
      return int_left ? f.truth() : comparison_node(f, rel::le, zero, n);
    default:
      return f.truth();
  }
}

int32_t translate(const plan& p, int32_t i, const std::vector<std::string>& colnames,
                  const std::vector<kind>& kinds, formula& f) {
  const cond_node& n = p.cond(i);
  switch (n.op) {
    case cond_op::not_: return f.negation(translate(p, n.left, colnames, kinds, f));
    case cond_op::and_: {
      const int32_t a = translate(p, n.left, colnames, kinds, f);
      return f.both(a, translate(p, n.right, colnames, kinds, f));
    }
    case cond_op::or_: {
      const int32_t a = translate(p, n.left, colnames, kinds, f);
      return f.either(a, translate(p, n.right, colnames, kinds, f));
    }
    case cond_op::other: return f.truth();
    case cond_op::fail: throw outside("the condition is not a predicate");
    default: break;
  }
  const operand x = resolve(p.conds.x(n), colnames);
  const operand y = resolve(p.conds.y(n), colnames);
  return compare(f, n.op, x, y, kinds);
}

void check_size(std::size_t n, std::size_t limit) {
  if (n > limit) {
    throw outside("the conditions expand to more than " + std::to_string(limit) + " cases");
  }
}

}  // namespace

int32_t comparison_node(formula& f, rel r, operand a, operand b) {
  if (a.constant && b.constant) {
    const int order = compare_values(a.v, b.v);
    bool h = false;
    switch (r) {
      case rel::eq: h = order == 0; break;
      case rel::ne: h = order != 0; break;
      case rel::lt: h = order < 0; break;
      case rel::le: h = order <= 0; break;
    }
    return h ? f.truth() : f.falsity();
  }
  leaf l;
  l.r = r;
  l.a = std::move(a);
  l.b = std::move(b);
  return f.add_leaf(std::move(l));
}

int32_t translate_condition(const plan& p, int32_t root, const std::vector<std::string>& colnames,
                            const std::vector<kind>& kinds, formula& f) {
  return translate(p, root, colnames, kinds, f);
}

leaf negate(leaf l) {
  if (l.member) {
    l.negated = !l.negated;
    return l;
  }
  switch (l.r) {
    case rel::eq: l.r = rel::ne; break;
    case rel::ne: l.r = rel::eq; break;
    case rel::lt:  // not a < b is b <= a
      l.r = rel::le;
      std::swap(l.a, l.b);
      break;
    case rel::le:  // not a <= b is b < a
      l.r = rel::lt;
      std::swap(l.a, l.b);
      break;
  }
  return l;
}

dnf to_dnf(const formula& f, int32_t root, bool negated, std::size_t limit) {
  const formula::node& n = f.nodes[static_cast<std::size_t>(root)];
  using op = formula::op;
  const bool conj = (n.o == op::and_) != negated;  // AND, or OR under NOT
  switch (n.o) {
    case op::truth: return negated ? dnf{} : dnf{{}};
    case op::falsity: return negated ? dnf{{}} : dnf{};
    case op::leaf: {
      const leaf& l = f.leaves[static_cast<std::size_t>(n.leaf)];
      return dnf{{negated ? negate(l) : l}};
    }
    case op::not_: return to_dnf(f, n.a, !negated, limit);
    case op::and_:
    case op::or_: break;
  }
  dnf x = to_dnf(f, n.a, negated, limit);
  dnf y = to_dnf(f, n.b, negated, limit);
  if (!conj) {
    check_size(x.size() + y.size(), limit);
    x.insert(x.end(), std::make_move_iterator(y.begin()), std::make_move_iterator(y.end()));
    return x;
  }
  check_size(x.size() * y.size(), limit);
  dnf out;
  out.reserve(x.size() * y.size());
  for (const auto& cx : x) {
    for (const auto& cy : y) {
      std::vector<leaf> c = cx;
      c.insert(c.end(), cy.begin(), cy.end());
      out.push_back(std::move(c));
    }
  }
  return out;
}

}  // namespace prove
