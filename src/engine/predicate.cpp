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
  compile(tree, root);
}

void bound_predicate::compile(const cond_tree& tree, int32_t root) {
  // Comparisons are numbered in reading order. Where a jump goes is not
  // always known when a comparison is laid out (the first comparison of
  // AND's right operand comes later), so jumps name labels, bound to a
  // comparison's number when the subtree that starts there is reached, and
  // are resolved at the end. Labels 0 and 1 are the final answers.
  std::vector<int32_t> labels{kAccept, kReject};
  struct item {
    int32_t from;
    int32_t on_true, on_false;  // labels
    int32_t starts;             // the label this subtree's first comparison binds, or -1
  };
  std::vector<item> stack{{root, 0, 1, -1}};
  while (!stack.empty()) {
    const item it = stack.back();
    stack.pop_back();
    if (it.starts >= 0) labels[static_cast<std::size_t>(it.starts)] = static_cast<int32_t>(steps_.size());
    const cond_node& n = tree.node(it.from);
    switch (n.op) {
      case cond_op::not_:
        stack.push_back({n.left, it.on_false, it.on_true, -1});
        continue;
      case cond_op::and_:
      case cond_op::or_: {
        const auto right = static_cast<int32_t>(labels.size());
        labels.push_back(kReject);
        stack.push_back({n.right, it.on_true, it.on_false, right});
        if (n.op == cond_op::and_) {
          stack.push_back({n.left, right, it.on_false, -1});
        } else {
          stack.push_back({n.left, it.on_true, right, -1});
        }
        continue;
      }
      default:
        break;
    }
    step& s = steps_.emplace_back();
    s.on_true = it.on_true;
    s.on_false = it.on_false;
    if (n.op == cond_op::other || n.op == cond_op::fail) {
      s.k = k_true;
    } else {
      static const kind kinds[] = {k_eq, k_neq, k_lt, k_lte, k_gt, k_gte};
      s.k = kinds[static_cast<int>(n.op) - static_cast<int>(cond_op::eq)];
      s.x = resolve(tree.x(n));
      s.y = resolve(tree.y(n));
    }
  }
  for (step& s : steps_) {
    s.on_true = labels[static_cast<std::size_t>(s.on_true)];
    s.on_false = labels[static_cast<std::size_t>(s.on_false)];
  }
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
