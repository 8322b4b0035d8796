// The condition tree: built from the engine's reading of a condition text,
// evaluated row by row with verify, and turned back into condition nodes.
#include "logic.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "engine/parser.h"
#include "engine/predicate.h"

class logic_builder {
 public:
  // Fills root from the condition nodes of p, without recursing.
  static void build(logic& root, const plan& p) {
    std::vector<std::pair<logic*, int32_t>> stack{{&root, p.conditions[0].root}};
    while (!stack.empty()) {
      auto [into, i] = stack.back();
      stack.pop_back();
      const cond_node& n = p.cond(i);
      into->op = n.keyword;
      if (n.op == cond_op::not_ || n.op == cond_op::and_ || n.op == cond_op::or_) {
        into->left.reset(new logic());
        stack.push_back({into->left.get(), n.left});
        if (n.op != cond_op::not_) {
          into->right.reset(new logic());
          stack.push_back({into->right.get(), n.right});
        }
        continue;
      }
      const auto operand = [](const cond_operand& o, std::unique_ptr<std::string>& name,
                              std::unique_ptr<t_object>& value) {
        if (o.is_literal) {
          value = std::make_unique<t_object>(o.value());
        } else {
          name = std::make_unique<std::string>(o.text);
        }
      };
      operand(p.conds.x(n), into->lname, into->lval);
      operand(p.conds.y(n), into->rname, into->rval);
    }
  }
};

logic::logic(std::string text) {
  const plan p = parse_condition(text);
  const plan_condition& c = p.conditions[0];
  if (c.first_fail >= 0) throw std::runtime_error(p.messages[static_cast<std::size_t>(p.cond(c.first_fail).message)]);
  logic_builder::build(*this, p);
}

logic::~logic() {
  // Children are released iteratively, so a very deep tree cannot exhaust
  // the stack on the way down.
  std::vector<std::unique_ptr<logic>> pending;
  if (left) pending.push_back(std::move(left));
  if (right) pending.push_back(std::move(right));
  while (!pending.empty()) {
    std::unique_ptr<logic> n = std::move(pending.back());
    pending.pop_back();
    if (n->left) pending.push_back(std::move(n->left));
    if (n->right) pending.push_back(std::move(n->right));
  }
  lname.reset();
  rname.reset();
  lval.reset();
  rval.reset();
}

bool logic::verify(binding* row) {
  // The engine tests the condition on the row's values, laid out by name;
  // the names the condition reads that the row lacks follow as the integer
  // 0, and those it reads on its way are added to the row as such.
  const cond_tree tree = condition_nodes(*this);
  std::vector<std::string> names;
  std::vector<cell> cells;
  for (const auto& [name, value] : *row) {
    names.push_back(name);
    cells.push_back(cell::of(value));
  }
  const std::size_t known = names.size();
  for (const cond_operand& o : tree.operands) {
    if (o.is_literal || row->count(o.text) > 0 ||
        std::find(names.begin() + static_cast<long>(known), names.end(), o.text) != names.end()) {
      continue;
    }
    names.push_back(o.text);
    cells.push_back(cell::of_int(0));
  }
  std::vector<int32_t> lacking;
  const bound_predicate test(tree, 0, names);
  const bool holds = test.test_reading(cells.data(), static_cast<uint32_t>(cells.size()), [&](int32_t column) {
    if (static_cast<std::size_t>(column) >= known) lacking.push_back(column);
  });
  for (const int32_t k : lacking) row->try_emplace(names[static_cast<std::size_t>(k)]);
  return holds;
}

bool logic::isint(std::string s) const { return is_int_text(s); }

cond_tree condition_nodes(const logic& root) {
  cond_tree tree;
  std::vector<cond_node>& nodes = tree.nodes;
  struct item {
    const logic* n;
    int32_t parent;
    bool right;
  };
  std::vector<item> stack{{&root, -1, false}};
  while (!stack.empty()) {
    const item it = stack.back();
    stack.pop_back();
    const auto i = static_cast<int32_t>(nodes.size());
    nodes.emplace_back();
    if (it.parent >= 0) {
      cond_node& p = nodes[static_cast<std::size_t>(it.parent)];
      (it.right ? p.right : p.left) = i;
    }
    cond_node& c = nodes.back();
    c.keyword = it.n->op;
    const cond_op k = keyword_op(it.n->op);
    c.op = k;
    if (k == cond_op::not_ || k == cond_op::and_ || k == cond_op::or_) {
      if (it.n->right) stack.push_back({it.n->right.get(), i, true});
      stack.push_back({it.n->left.get(), i, false});
      continue;
    }
    c.operands = static_cast<int32_t>(tree.operands.size());
    const auto operand = [](const std::unique_ptr<std::string>& name,
                            const std::unique_ptr<t_object>& value) {
      cond_operand o;
      o.is_literal = value != nullptr;
      o.is_int = value != nullptr && value->is_int;
      if (value) {
        o.ival = value->ival;
        o.text = value->sval;
      }
      if (name) o.text = *name;
      return o;
    };
    tree.operands.push_back(operand(it.n->lname, it.n->lval));
    tree.operands.push_back(operand(it.n->rname, it.n->rval));
  }
  return tree;
}
