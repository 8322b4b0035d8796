// Compiling a condition tree into position-resolved nodes, and testing rows.
#include "engine/predicate.h"

#include <algorithm>

namespace {
const cell kZeroCell = cell::of_int(0);
}

bound_predicate::bound_predicate(const cond_tree& tree, int32_t root,
                                 const std::vector<std::string>& colnames) {
  for (std::size_t i = 0; i < colnames.size(); ++i) where_.push_back({colnames[i], {static_cast<int32_t>(i)}});
  std::stable_sort(where_.begin(), where_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // Runs of one name become one entry listing all its positions, ascending.
  std::size_t out = 0;
  for (std::size_t i = 0; i < where_.size(); ++i) {
    if (out > 0 && where_[out - 1].first == where_[i].first) {
      where_[out - 1].second.push_back(where_[i].second.front());
    } else {
      if (out != i) where_[out] = std::move(where_[i]);
      ++out;
    }
  }
  where_.resize(out);
  root_ = compile(tree, root);
}

int32_t bound_predicate::compile(const cond_tree& tree, int32_t root) {
  // Nodes are numbered as they are met, a parent before its children, with
  // a stack of (condition node, slot to fill) instead of recursion.
  struct item {
    int32_t from;
    int32_t parent;
    bool right;
  };
  std::vector<item> stack{{root, -1, false}};
  while (!stack.empty()) {
    const item it = stack.back();
    stack.pop_back();
    const auto at = static_cast<int32_t>(nodes_.size());
    nodes_.emplace_back();
    if (it.parent >= 0) (it.right ? nodes_[static_cast<std::size_t>(it.parent)].b : nodes_[static_cast<std::size_t>(it.parent)].a) = at;
    const cond_node& n = tree.node(it.from);
    node& nd = nodes_.back();
    switch (n.op) {
      case cond_op::not_:
        nd.k = k_not;
        stack.push_back({n.left, at, false});
        break;
      case cond_op::and_:
      case cond_op::or_:
        nd.k = n.op == cond_op::and_ ? k_and : k_or;
        stack.push_back({n.right, at, true});
        stack.push_back({n.left, at, false});
        break;
      case cond_op::other:
      case cond_op::fail:
        nd.k = k_true;
        break;
      default: {
        static const kind kinds[] = {k_eq, k_neq, k_lt, k_lte, k_gt, k_gte};
        nd.k = kinds[static_cast<int>(n.op) - static_cast<int>(cond_op::eq)];
        nd.x = resolve(tree.x(n));
        nd.y = resolve(tree.y(n));
      }
    }
  }
  return 0;
}

bound_predicate::arg bound_predicate::resolve(const cond_operand& o) {
  arg a;
  if (o.is_literal) {
    a.is_literal = true;
    a.literal = o.is_int ? cell::of_int(o.ival) : cell::of_text(o.text);
    return a;
  }
  const auto it = std::lower_bound(where_.begin(), where_.end(), o.text,
                                   [](const auto& e, const std::string& n) { return e.first < n; });
  if (it == where_.end() || it->first != o.text) {
    a.is_literal = true;
    a.literal = kZeroCell;
    return a;
  }
  a.column = it->second.back();
  if (it->second.size() > 1) {
    a.alias = static_cast<int32_t>(aliases_.size());
    aliases_.push_back(it->second);
  }
  return a;
}

const cell& bound_predicate::fetch(const arg& a, const cell* row, uint32_t width) const {
  if (a.is_literal) return a.literal;
  if (static_cast<uint32_t>(a.column) < width) return row[a.column];
  // A short row binds only its leading columns: take the last column of this
  // name that the row reaches, if any.
  if (a.alias >= 0) {
    const std::vector<int32_t>& all = aliases_[static_cast<std::size_t>(a.alias)];
    for (auto p = all.rbegin(); p != all.rend(); ++p) {
      if (static_cast<uint32_t>(*p) < width) return row[*p];
    }
  }
  return kZeroCell;
}

bool bound_predicate::eval(int32_t i, const cell* row, uint32_t width) const {
  // The last operand of NOT, AND and OR is evaluated in place rather than
  // by a call, so chains nested on the right (the usual shape of long
  // conditions) cost no stack; `flip` counts the NOTs passed.
  bool flip = false;
  for (;;) {
    const node& n = nodes_[static_cast<std::size_t>(i)];
    bool v;
    switch (n.k) {
      case k_not:
        flip = !flip;
        i = n.a;
        continue;
      case k_and:
        if (!eval(n.a, row, width)) return flip;
        i = n.b;
        continue;
      case k_or:
        if (eval(n.a, row, width)) return !flip;
        i = n.b;
        continue;
      case k_eq: v = cell_eq(fetch(n.x, row, width), fetch(n.y, row, width)); break;
      case k_neq: v = !cell_eq(fetch(n.x, row, width), fetch(n.y, row, width)); break;
      case k_lt: v = cell_lt(fetch(n.x, row, width), fetch(n.y, row, width)); break;
      case k_lte: v = !cell_lt(fetch(n.y, row, width), fetch(n.x, row, width)); break;
      case k_gt: v = cell_lt(fetch(n.y, row, width), fetch(n.x, row, width)); break;
      case k_gte: v = !cell_lt(fetch(n.x, row, width), fetch(n.y, row, width)); break;
      default: v = true;
    }
    return v != flip;
  }
}

bool bound_predicate::test(const cell* row, uint32_t width) const { return eval(root_, row, width); }
