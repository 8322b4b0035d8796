// Conditions as SQL: operands resolved to columns or constants, relalg's
// mixed-kind comparison rules spelt out, constant parts folded away.
#include "sql/condition.h"

#include <utility>

#include "sql/refusal.h"

namespace relalg_sql {

namespace {

// A boolean expression, or a truth value known without reading a row. A
// readable one is written with the parentheses its reading needs (the
// level of its outermost operator says which), a positional one with
// parentheses around every comparison and connective.
enum class level : uint8_t { tight, and_, or_ };
struct expr {
  int known = -1;  // 1 true, 0 false, -1 decided per row
  std::string sql;
  bool readable = false;
  level lv = level::tight;

  static expr constant(bool v) { return expr{v ? 1 : 0, {}, false, level::tight}; }
  static expr of(std::string s, bool readable = false, level lv = level::tight) {
    return expr{-1, std::move(s), readable, lv};
  }
};

std::string render(const expr& e, bool readable) {
  if (e.known == 1) return readable ? "TRUE" : "(1 = 1)";
  if (e.known == 0) return readable ? "FALSE" : "(1 = 0)";
  return e.sql;
}

// A readable operand of a connective, in parentheses when its own
// outermost connective is `other`.
std::string operand_of(const expr& e, level other) { return e.lv == other ? concat({"(", e.sql, ")"}) : e.sql; }

expr negate(expr e) {
  if (e.known >= 0) return expr::constant(e.known == 0);
  if (e.readable) return expr::of(concat({"NOT (", e.sql, ")"}), true);
  return expr::of(concat({"NOT ", e.sql}));
}

expr both(expr a, expr b) {
  if (a.known == 0 || b.known == 0) return expr::constant(false);
  if (a.known == 1) return b;
  if (b.known == 1) return a;
  if (a.readable) {
    return expr::of(concat({operand_of(a, level::or_), " AND ", operand_of(b, level::or_)}), true, level::and_);
  }
  return expr::of(concat({"(", a.sql, " AND ", b.sql, ")"}));
}

expr either(expr a, expr b) {
  if (a.known == 1 || b.known == 1) return expr::constant(true);
  if (a.known == 0) return b;
  if (b.known == 0) return a;
  if (a.readable) {
    return expr::of(concat({operand_of(a, level::and_), " OR ", operand_of(b, level::and_)}), true, level::or_);
  }
  return expr::of(concat({"(", a.sql, " OR ", b.sql, ")"}));
}

// An operand as the row binding gives it: a column of the row, or a
// constant (a literal, or the integer 0 for a name the row lacks). A
// mixed column is first split into its two kinds (see split).
struct operand {
  bool is_column = false;
  bool is_int = true;
  bool mixed = false;
  t_object value;   // the constant
  std::string sql;  // the column or the constant, as SQL
  std::string text_sql;  // a mixed column's text part
};

operand resolve(const cond_operand& o, const std::vector<std::string>& colnames,
                const std::vector<cell_sql>& columns) {
  operand r;
  if (!o.is_literal) {
    // The binding holds the last column of a name.
    for (std::size_t i = colnames.size(); i-- > 0;) {
      if (colnames[i] == o.text) {
        r.is_column = true;
        r.is_int = columns[i].k != kind::text;
        r.mixed = columns[i].k == kind::mixed;
        r.sql = columns[i].c;
        r.text_sql = columns[i].t;
        return r;
      }
    }
    r.value = t_object(0);
  } else {
    r.value = o.value();
  }
  r.is_int = r.value.is_int;
  r.sql = r.is_int ? int_literal(r.value.ival) : quote_text(r.value.sval);
  return r;
}

enum class rel_op { eq, neq, lt, lte, gt, gte };

const char* sql_operator(rel_op op) {
  switch (op) {
    case rel_op::eq: return "=";
    case rel_op::neq: return "<>";
    case rel_op::lt: return "<";
    case rel_op::lte: return "<=";
    case rel_op::gt: return ">";
    case rel_op::gte: return ">=";
  }
  return "=";
}

// relalg's comparison of two constants.
bool fold(rel_op op, const t_object& x, const t_object& y) {
  switch (op) {
    case rel_op::eq: return x == y;
    case rel_op::neq: return x != y;
    case rel_op::lt: return x < y;
    case rel_op::lte: return x <= y;
    case rel_op::gt: return x > y;
    case rel_op::gte: return x >= y;
  }
  return false;
}

// x OP y for operands of one kind, where SQL and relalg agree: integers by
// value, strings by unsigned bytes.
expr same_kind(rel_op op, const operand& x, const operand& y, dialect d, bool readable) {
  if (!x.is_column && !y.is_column) return expr::constant(fold(op, x.value, y.value));
  if (readable) return expr::of(concat({x.sql, " ", sql_operator(op), " ", y.sql}), true);
  const std::string_view collation = x.is_int ? "" : byte_collation(d);
  return expr::of(concat({"(", x.sql, collation, " ", sql_operator(op), " ", y.sql, ")"}));
}

// The integer 0 and the empty string, the neutral contents of the field a
// value's kind does not use.
operand zero() {
  operand z;
  z.value = t_object(0);
  z.sql = "0";
  return z;
}
operand empty_text() {
  operand e;
  e.is_int = false;
  e.value = t_object(std::string());
  e.sql = "''";
  return e;
}

// x OP y for operands of different kinds. relalg compares the integer
// fields and the string fields, a string's integer field being 0 and an
// integer's string field empty: == needs both fields equal; < looks at the
// left operand's kind, and >, <= (defined from <) at the right's. So with n
// the integer and s the string:
//   EQ   n = 0 and s = ''          NEQ  not EQ
//   n on the left:  LT n < 0,  LTE true,   GT false,  GTE n >= 0
//   s on the left:  LT false,  LTE n >= 0, GT n < 0,  GTE true
expr mixed_kind(rel_op op, const operand& x, const operand& y, dialect d, bool readable) {
  const bool int_left = x.is_int;
  const operand& n = int_left ? x : y;
  const operand& s = int_left ? y : x;
  const auto n_is = [&](rel_op o) { return same_kind(o, n, zero(), d, readable); };
  switch (op) {
    case rel_op::eq: return both(n_is(rel_op::eq), same_kind(rel_op::eq, s, empty_text(), d, readable));
    case rel_op::neq:
      return either(n_is(rel_op::neq), same_kind(rel_op::neq, s, empty_text(), d, readable));
    case rel_op::lt: return int_left ? n_is(rel_op::lt) : expr::constant(false);
    case rel_op::lte: return int_left ? expr::constant(true) : n_is(rel_op::gte);
    case rel_op::gt: return int_left ? expr::constant(false) : n_is(rel_op::lt);
    case rel_op::gte: return int_left ? n_is(rel_op::gte) : expr::constant(true);
  }
  return expr::constant(false);
}

// The comment a readable comparison of an integer with a string carries.
expr explained(rel_op op, expr e) {
  if (e.known >= 0) return e;
  const bool equality = op == rel_op::eq || op == rel_op::neq;
  e.sql += equality ? " /* relalg: an integer equals a string only when it is 0 and the string is empty */"
                    : " /* relalg: an integer against a string compares the integer with 0 */";
  return e;
}

struct translator {
  const plan& p;
  const std::vector<std::string>& colnames;
  const std::vector<cell_sql>& columns;
  dialect d;
  bool readable;

  expr node(int32_t i) const {
    const cond_node& c = p.cond(i);
    switch (c.op) {
      case cond_op::not_: return negate(node(c.left));
      case cond_op::and_: return both(node(c.left), node(c.right));
      case cond_op::or_: return either(node(c.left), node(c.right));
      case cond_op::eq: return compare(rel_op::eq, c);
      case cond_op::neq: return compare(rel_op::neq, c);
      case cond_op::lt: return compare(rel_op::lt, c);
      case cond_op::lte: return compare(rel_op::lte, c);
      case cond_op::gt: return compare(rel_op::gt, c);
      case cond_op::gte: return compare(rel_op::gte, c);
      case cond_op::other: return expr::constant(true);
      case cond_op::fail: break;
    }
    throw refusal("select: a condition that does not read as a predicate", c.span);
  }

  expr compare(rel_op op, const cond_node& c) const {
    return compare(op, resolve(p.conds.x(c), colnames, columns), resolve(p.conds.y(c), colnames, columns));
  }

  // A mixed operand is an integer in the rows where its text part is NULL
  // and a string in the others: the comparison is made for each case.
  expr compare(rel_op op, const operand& x, const operand& y) const {
    if (x.mixed || y.mixed) {
      const operand& m = x.mixed ? x : y;
      operand as_int = m;
      as_int.mixed = false;
      operand as_text = m;
      as_text.mixed = false;
      as_text.is_int = false;
      as_text.sql = m.text_sql;
      const expr when_int = x.mixed ? compare(op, as_int, y) : compare(op, x, as_int);
      const expr when_text = x.mixed ? compare(op, as_text, y) : compare(op, x, as_text);
      if (when_int.known >= 0 && when_int.known == when_text.known) return when_int;
      if (readable) {
        return expr::of(concat({"CASE WHEN ", m.text_sql, " IS NULL THEN ", render(when_int, true), " ELSE ",
                                render(when_text, true), " END"}),
                        true);
      }
      return expr::of(concat({"(CASE WHEN ", m.text_sql, " IS NULL THEN ", render(when_int, false), " ELSE ",
                              render(when_text, false), " END)"}));
    }
    if (x.is_int == y.is_int) return same_kind(op, x, y, d, readable);
    if (readable) return explained(op, mixed_kind(op, x, y, d, readable));
    return mixed_kind(op, x, y, d, readable);
  }
};

}  // namespace

std::size_t condition_depth(const plan& p, int32_t root) {
  std::vector<std::pair<int32_t, std::size_t>> todo{{root, 1}};
  std::size_t most = 0;
  while (!todo.empty()) {
    const auto [i, depth] = todo.back();
    todo.pop_back();
    if (depth > most) most = depth;
    const cond_node& c = p.cond(i);
    if (c.op == cond_op::not_ || c.op == cond_op::and_ || c.op == cond_op::or_) {
      if (c.left >= 0) todo.emplace_back(c.left, depth + 1);
      if (c.right >= 0) todo.emplace_back(c.right, depth + 1);
    }
  }
  return most;
}

std::string condition_sql(const plan& p, int32_t root, const std::vector<std::string>& colnames,
                          const std::vector<cell_sql>& columns, dialect d, bool readable) {
  const std::size_t depth = condition_depth(p, root);
  if (depth > max_condition_depth) {
    throw refusal(concat({"select: the condition is nested ", std::to_string(depth)}) +
                      " levels deep; SQL is written for at most " +
                      std::to_string(max_condition_depth),
                  p.cond(root).span);
  }
  const translator t{p, colnames, columns, d, readable};
  return render(t.node(root), readable);
}

}  // namespace relalg_sql
