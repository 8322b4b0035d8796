// Reading a query's plan into branches, node by node from the leaves: the
// engine's parser gives the tree and the conditions, and each node's column
// names decide which term a condition's column name stands for (the last
// column of that name; an unknown name is the integer 0).
#include "grade/query_shape.h"

#include <algorithm>
#include <utility>

#include "engine/catalog.h"
#include "engine/parser.h"
#include "engine/plan.h"

namespace grade {

namespace {

constexpr std::size_t kDeepest = 200;  // nesting walked at most

struct node_shape {
  bool ok = false;
  std::vector<std::string> names;
  std::vector<query_branch> branches;
  bool complete = true;
};

// A comparison operand before a branch is chosen: a constant, or a column
// of the operand by position.
struct operand {
  bool is_column = false;
  std::size_t column = 0;
  value constant;
};
struct pending_cond {
  shape_op op;
  operand a, b;
};
using conjunction = std::vector<pending_cond>;
using dnf = std::vector<conjunction>;

dnf cross(const dnf& x, const dnf& y) {
  dnf out;
  for (const conjunction& a : x) {
    for (const conjunction& b : y) {
      if (out.size() >= kMostBranches) return out;
      conjunction c = a;
      c.insert(c.end(), b.begin(), b.end());
      out.push_back(std::move(c));
    }
  }
  return out;
}

// a and b side by side, as one branch: b's atoms and conditions follow a's
// with b's variables numbered after a's. The head stays a's; `b_head` gets
// b's head, renumbered.
query_branch side_by_side(const query_branch& a, const query_branch& b, std::vector<shape_term>& b_head) {
  query_branch m = a;
  const std::size_t shift = a.vars;
  for (shape_atom at : b.atoms) {
    at.first_var += shift;
    m.atoms.push_back(at);
  }
  for (shape_cond c : b.conds) {
    if (c.a.is_var) c.a.var += shift;
    if (c.b.is_var) c.b.var += shift;
    m.conds.push_back(std::move(c));
  }
  b_head = b.head;
  for (shape_term& t : b_head) {
    if (t.is_var) t.var += shift;
  }
  m.vars = a.vars + b.vars;
  m.removal = a.removal || b.removal;
  return m;
}

class reader {
 public:
  reader(const plan& p, const schema& sch) : p_(p), sch_(sch) {}

  node_shape node(int32_t i, std::size_t depth) {
    node_shape out;
    if (depth > kDeepest) return out;
    const plan_node& n = p_.node(i);
    switch (n.op) {
      case plan_op::table: return table(n);
      case plan_op::select: return select(n, depth);
      case plan_op::product: return product(n, depth);
      case plan_op::project: return project(n, depth);
      case plan_op::rename: return rename(n, depth);
      case plan_op::union_:
      case plan_op::minus: return set_op(n, depth);
      case plan_op::fail:
      case plan_op::join: return out;
    }
    return out;
  }

 private:
  node_shape table(const plan_node& n) {
    node_shape out;
    const std::optional<std::size_t> t = sch_.table(p_.table_of(n).name);
    if (!t) return out;
    out.ok = true;
    query_branch b;
    b.atoms.push_back({*t, 0});
    for (const column_info& c : sch_.tables[*t].columns) {
      out.names.push_back(c.name);
      b.head.push_back(shape_term::of_var(b.vars++));
    }
    out.branches.push_back(std::move(b));
    return out;
  }

  node_shape product(const plan_node& n, std::size_t depth) {
    node_shape l = node(n.left, depth + 1);
    node_shape r = node(n.right, depth + 1);
    node_shape out;
    if (!l.ok || !r.ok) return out;
    // The columns of both, ordered by name; a name on both sides fails.
    std::vector<std::pair<std::string, std::size_t>> cols;  // name, position in l then r
    for (std::size_t c = 0; c < l.names.size(); ++c) cols.emplace_back(l.names[c], c);
    for (std::size_t c = 0; c < r.names.size(); ++c) cols.emplace_back(r.names[c], l.names.size() + c);
    std::stable_sort(cols.begin(), cols.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t c = 1; c < cols.size(); ++c) {
      if (cols[c].first == cols[c - 1].first) return out;
    }
    out.ok = true;
    out.complete = l.complete && r.complete;
    for (const auto& c : cols) out.names.push_back(c.first);
    for (const query_branch& a : l.branches) {
      for (const query_branch& b : r.branches) {
        if (out.branches.size() >= kMostBranches) {
          out.complete = false;
          break;
        }
        std::vector<shape_term> both;
        query_branch m = side_by_side(a, b, both);
        both.insert(both.begin(), a.head.begin(), a.head.end());
        m.head.clear();
        for (const auto& c : cols) m.head.push_back(both[c.second]);
        out.branches.push_back(std::move(m));
      }
    }
    return out;
  }

  node_shape project(const plan_node& n, std::size_t depth) {
    node_shape in = node(n.left, depth + 1);
    if (!in.ok || in.names.empty()) return node_shape();
    std::vector<std::size_t> pick;
    for (const plan_name& name : p_.names_of(n)) {
      std::size_t at = 0;
      for (std::size_t c = 0; c < in.names.size(); ++c) {
        if (in.names[c] == name.text) at = c;
      }
      pick.push_back(at);
    }
    node_shape out;
    out.ok = true;
    out.complete = in.complete;
    for (const std::size_t c : pick) out.names.push_back(in.names[c]);
    for (query_branch& b : in.branches) {
      std::vector<shape_term> head;
      for (const std::size_t c : pick) head.push_back(c < b.head.size() ? b.head[c] : shape_term::of_value(value()));
      b.head = std::move(head);
      out.branches.push_back(std::move(b));
    }
    return out;
  }

  node_shape rename(const plan_node& n, std::size_t depth) {
    node_shape in = node(n.left, depth + 1);
    const std::vector<plan_name>& names = p_.names_of(n);
    if (!in.ok || names.size() < in.names.size() + 1) return node_shape();
    for (std::size_t c = 0; c < in.names.size(); ++c) in.names[c] = names[c + 1].text;
    return in;
  }

  node_shape set_op(const plan_node& n, std::size_t depth) {
    node_shape l = node(n.left, depth + 1);
    node_shape r = node(n.right, depth + 1);
    if (!l.ok || !r.ok) return node_shape();
    node_shape out = l;
    out.complete = l.complete && r.complete && l.names.size() == r.names.size();
    if (n.op == plan_op::union_) {
      for (query_branch& b : r.branches) {
        if (out.branches.size() >= kMostBranches) break;
        out.branches.push_back(std::move(b));
      }
      return out;
    }
    // A difference: beside the left operand's rows, those the right one
    // removes, as a left branch joined to a right one on every column.
    for (const query_branch& a : l.branches) {
      for (const query_branch& b : r.branches) {
        if (out.branches.size() >= kMostBranches || a.head.size() != b.head.size()) break;
        std::vector<shape_term> removed;
        query_branch m = side_by_side(a, b, removed);
        for (std::size_t c = 0; c < removed.size(); ++c) m.conds.push_back({shape_op::eq, a.head[c], removed[c]});
        m.removal = true;
        out.branches.push_back(std::move(m));
      }
    }
    return out;
  }

  operand operand_of(const cond_operand& o, const std::vector<std::string>& names) {
    operand out;
    if (o.is_literal) {
      out.constant = o.is_int ? value::of_int(o.ival) : value::of_text(o.text);
      return out;
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (names[c] == o.text) {
        out.is_column = true;
        out.column = c;
      }
    }
    return out;  // an unknown name: the integer 0
  }

  // The condition as a disjunction of conjunctions of comparisons, NOT
  // pushed down (an unknown keyword is true, its negation false).
  dnf condition(int32_t i, bool negate, const std::vector<std::string>& names, std::size_t depth) {
    if (depth > kDeepest) return {};
    const cond_node& c = p_.cond(i);
    switch (c.op) {
      case cond_op::not_: return condition(c.left, !negate, names, depth + 1);
      case cond_op::and_:
      case cond_op::or_: {
        const bool conj = (c.op == cond_op::and_) != negate;
        dnf l = condition(c.left, negate, names, depth + 1);
        dnf r = condition(c.right, negate, names, depth + 1);
        if (conj) return cross(l, r);
        for (conjunction& x : r) {
          if (l.size() >= kMostBranches) break;
          l.push_back(std::move(x));
        }
        return l;
      }
      case cond_op::other: return negate ? dnf{} : dnf{conjunction{}};
      case cond_op::fail: return {};
      default: break;
    }
    static const shape_op ops[] = {shape_op::eq, shape_op::neq, shape_op::lt, shape_op::lte, shape_op::gt, shape_op::gte};
    shape_op op = ops[static_cast<int>(c.op) - static_cast<int>(cond_op::eq)];
    if (negate) op = negated(op);
    return dnf{conjunction{pending_cond{op, operand_of(p_.conds.x(c), names), operand_of(p_.conds.y(c), names)}}};
  }

  node_shape select(const plan_node& n, std::size_t depth) {
    node_shape in = node(n.left, depth + 1);
    const plan_condition& pc = p_.condition_of(n);
    if (!in.ok || pc.first_fail >= 0 || pc.root < 0) return node_shape();
    const dnf d = condition(pc.root, false, in.names, 0);
    node_shape out;
    out.ok = true;
    out.complete = in.complete && d.size() < kMostBranches;
    out.names = in.names;
    const auto term = [](const operand& o, const query_branch& b) {
      if (o.is_column && o.column < b.head.size()) return b.head[o.column];
      return shape_term::of_value(o.is_column ? value() : o.constant);
    };
    for (const query_branch& b : in.branches) {
      for (const conjunction& c : d) {
        if (out.branches.size() >= kMostBranches) {
          out.complete = false;
          break;
        }
        query_branch m = b;
        for (const pending_cond& pc2 : c) m.conds.push_back({pc2.op, term(pc2.a, b), term(pc2.b, b)});
        out.branches.push_back(std::move(m));
      }
    }
    return out;
  }

  const plan& p_;
  const schema& sch_;
};

}  // namespace

shape_op negated(shape_op op) {
  switch (op) {
    case shape_op::eq: return shape_op::neq;
    case shape_op::neq: return shape_op::eq;
    case shape_op::lt: return shape_op::gte;
    case shape_op::lte: return shape_op::gt;
    case shape_op::gt: return shape_op::lte;
    case shape_op::gte: return shape_op::lt;
  }
  return op;
}

query_shape shape_of(const std::string& query, const schema& sch, bool extended) {
  query_shape out;
  table_map tables;
  for (const table_info& t : sch.tables) {
    std::vector<std::string> names, types;
    for (const column_info& c : t.columns) {
      names.push_back(c.name);
      types.push_back(c.type);
    }
    tables.insert_or_assign(t.name, stored_table(t.name, std::move(names), std::move(types)));
  }
  parse_options po;
  po.extended = extended;
  const plan p = parse_query(query, tables, po);
  if (p.root < 0 || p.max_depth > kDeepest) return out;
  reader r(p, sch);
  node_shape s = r.node(p.root, 0);
  if (!s.ok) return out;
  out.branches = std::move(s.branches);
  out.complete = s.complete;
  return out;
}

var_place place_of(const query_branch& b, const schema& sch, std::size_t var) {
  for (const shape_atom& a : b.atoms) {
    const std::size_t w = sch.tables[a.table].columns.size();
    if (var >= a.first_var && var < a.first_var + w) return {a.table, var - a.first_var};
  }
  return {};
}

}  // namespace grade
