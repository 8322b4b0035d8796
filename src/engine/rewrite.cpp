// Finding joins: the leaves of a product region with the place of each of
// their columns, and the equalities of the condition's conjuncts that
// cross two leaves.
#include "engine/rewrite.h"

#include <algorithm>
#include <string>

#include "engine/operators.h"

namespace {

// Regions larger than this are left to the product: a join of that many
// operands is not what anyone writes, and the walk stays small.
constexpr std::size_t kMostLeaves = 64;

bool is_region(const plan& p, int32_t i) {
  // A product, or a rename (of a rename ...) of a product.
  for (int depth = 0; depth < 64; ++depth) {
    const plan_node& n = p.node(i);
    if (n.op == plan_op::product) return true;
    if (n.op != plan_op::rename) return false;
    i = n.left;
  }
  return false;
}

struct region {
  std::vector<int32_t> leaves;
  std::vector<std::vector<uint32_t>> place;  // in the layout of the region's root
};

// The leaves of the region rooted at `root`, or false when it is too large.
bool leaves_of(const plan& p, const std::vector<node_schema>& s, int32_t root, region& out) {
  // Each item maps its node's columns into the root's layout through `to`.
  struct item {
    int32_t node;
    std::vector<uint32_t> to;
  };
  std::vector<item> stack;
  {
    std::vector<uint32_t> id(s[static_cast<std::size_t>(root)].colnames.size());
    for (uint32_t k = 0; k < id.size(); ++k) id[k] = k;
    stack.push_back({root, std::move(id)});
  }
  while (!stack.empty()) {
    item it = std::move(stack.back());
    stack.pop_back();
    const plan_node& n = p.node(it.node);
    if (!is_region(p, it.node)) {
      out.leaves.push_back(it.node);
      out.place.push_back(std::move(it.to));
      if (out.leaves.size() > kMostLeaves) return false;
      continue;
    }
    if (n.op == plan_op::rename) {
      // The columns keep their positions under new names.
      stack.push_back({n.left, std::move(it.to)});
      continue;
    }
    const node_schema& a = s[static_cast<std::size_t>(n.left)];
    const node_schema& b = s[static_cast<std::size_t>(n.right)];
    const std::vector<int>& place = s[static_cast<std::size_t>(it.node)].place;
    std::vector<uint32_t> left(a.colnames.size());
    std::vector<uint32_t> right(b.colnames.size());
    for (std::size_t k = 0; k < left.size(); ++k) left[k] = it.to[static_cast<std::size_t>(place[k])];
    for (std::size_t k = 0; k < right.size(); ++k) {
      right[k] = it.to[static_cast<std::size_t>(place[left.size() + k])];
    }
    // The right operand is pushed first, so leaves come out left to right.
    stack.push_back({n.right, std::move(right)});
    stack.push_back({n.left, std::move(left)});
  }
  return true;
}

// The position the condition reads for a name: the last column bearing it.
int64_t position_of(const std::vector<std::string>& names, const std::string& name) {
  for (std::size_t k = names.size(); k-- > 0;) {
    if (names[k] == name) return static_cast<int64_t>(k);
  }
  return -1;
}

}  // namespace

bool may_join(const plan& p) {
  for (const plan_node& n : p.nodes) {
    if (n.op == plan_op::select && is_region(p, n.left)) return true;
  }
  return false;
}

void rewrite_joins(plan& p, std::vector<node_schema>& schemas) {
  const std::size_t count = p.nodes.size();
  std::vector<int32_t> parent(count, -1);
  for (std::size_t i = 0; i < count; ++i) {
    const plan_node& n = p.nodes[i];
    if (n.left >= 0) parent[static_cast<std::size_t>(n.left)] = static_cast<int32_t>(i);
    if (n.right >= 0) parent[static_cast<std::size_t>(n.right)] = static_cast<int32_t>(i);
  }
  // Children first (they come after their parents), so that a join below
  // is already in place, as a leaf, when the one above it is made.
  for (std::size_t i = count; i-- > 0;) {
    if (p.nodes[i].op != plan_op::select || !schemas[i].ok) continue;
    const plan_node sel = p.nodes[i];
    if (!is_region(p, sel.left)) continue;
    region r;
    if (!leaves_of(p, schemas, sel.left, r)) continue;

    // Which leaf holds each column of the operand.
    const std::vector<std::string>& names = schemas[static_cast<std::size_t>(sel.left)].colnames;
    std::vector<std::pair<uint32_t, uint32_t>> owner(names.size());
    for (uint32_t l = 0; l < r.place.size(); ++l) {
      for (uint32_t c = 0; c < r.place[l].size(); ++c) owner[r.place[l][c]] = {l, c};
    }
    // The conjuncts: the operands of ANDs, nested freely.
    plan_join j;
    bool only_keys = true;
    std::vector<int32_t> conjuncts{p.condition_of(sel).root};
    while (!conjuncts.empty()) {
      const int32_t at = conjuncts.back();
      const cond_node& c = p.cond(at);
      conjuncts.pop_back();
      if (c.op == cond_op::and_) {
        conjuncts.push_back(c.right);
        conjuncts.push_back(c.left);
        continue;
      }
      bool key = false;
      if (c.op == cond_op::eq) {
        const cond_operand& x = p.conds.x(c);
        const cond_operand& y = p.conds.y(c);
        const int64_t px = x.is_literal ? -1 : position_of(names, x.text);
        const int64_t py = y.is_literal ? -1 : position_of(names, y.text);
        if (px >= 0 && py >= 0) {
          const auto [la, ca] = owner[static_cast<std::size_t>(px)];
          const auto [lb, cb] = owner[static_cast<std::size_t>(py)];
          if (la != lb) {
            j.keys.push_back({la, ca, lb, cb});
            j.key_conds.push_back(at);
            key = true;
          }
        }
      }
      only_keys = only_keys && key;
    }
    if (j.keys.empty()) continue;
    j.keys_are_all = only_keys;
    j.select = static_cast<int32_t>(i);
    j.replaces = static_cast<int32_t>(i);
    j.leaves = std::move(r.leaves);
    j.place = std::move(r.place);
    // A projection right above it is folded in.
    const int32_t above = parent[i];
    if (above >= 0 && p.node(above).op == plan_op::project && schemas[static_cast<std::size_t>(above)].ok) {
      j.project = above;
      j.replaces = above;
    }

    plan_node join;
    join.op = plan_op::join;
    join.span = p.node(j.replaces).span;
    // A join that defines an extended operation stands for it as the node it replaces did.
    join.origin = p.node(j.replaces).origin;
    join.ext = p.node(j.replaces).ext;
    join.arg = static_cast<int32_t>(p.joins.size());
    const auto at = static_cast<int32_t>(p.nodes.size());
    const int32_t over = parent[static_cast<std::size_t>(j.replaces)];
    if (over < 0) {
      p.root = at;
    } else {
      plan_node& o = p.nodes[static_cast<std::size_t>(over)];
      (o.left == j.replaces ? o.left : o.right) = at;
    }
    schemas.push_back(schemas[static_cast<std::size_t>(j.replaces)]);
    p.joins.push_back(std::move(j));
    p.nodes.push_back(join);
  }
}
