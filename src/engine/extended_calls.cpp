// The calls behind the definitions: each definition's shape, walked back
// from the node that stands for the call to the operands as written.
#include "engine/extended_calls.h"

#include <string_view>

namespace {

int32_t down(const plan& p, int32_t i, bool right) {
  if (i < 0) return -1;
  const plan_node& n = p.node(i);
  return right ? n.right : n.left;
}

}  // namespace

written_call call_of(const plan& p, int32_t i) {
  written_call c;
  if (i < 0) return c;
  const plan_node& n = p.node(i);
  if (n.origin != node_origin::call) return c;
  // A hash join (rewrite.h) that took the call's place: the call as read.
  if (n.op == plan_op::join) return call_of(p, p.join_of(n).replaces);
  c.op = n.ext;
  if (n.op == plan_op::fail || n.op == plan_op::product) {
    // Refused by its operands' headers, or a natural join of operands that
    // share no column: the operands themselves.
    c.left = n.left;
    c.right = n.right;
    return c;
  }
  switch (n.ext) {
    case extended_op::join:
      // select(product(E1, E2), P)
      c.left = down(p, n.left, false);
      c.right = down(p, n.left, true);
      c.condition = p.condition_of(n).root;
      break;
    case extended_op::njoin: {
      // project(select(product(E1, rename(E2, ...)), ...), ...)
      const int32_t product = down(p, n.left, false);
      c.left = down(p, product, false);
      c.right = down(p, down(p, product, true), false);
      break;
    }
    case extended_op::intersect: {
      // rename(minus(E1, minus(E1, E2)), ...)
      const int32_t outer = n.left;
      c.left = down(p, outer, false);
      c.right = down(p, down(p, outer, true), true);
      break;
    }
    case extended_op::divide: {
      // minus(project(E1, X), project(minus(project(product(project(E1, X), E2), A), E1), X))
      c.left = down(p, n.left, false);
      const int32_t product = down(p, down(p, down(p, n.right, false), false), false);
      c.right = down(p, product, true);
      break;
    }
    case extended_op::none:
      break;
  }
  return c;
}

std::string message_as_written(const plan& p, int32_t i, std::string message) {
  if (i < 0 || static_cast<std::size_t>(i) >= p.nodes.size()) return message;
  const plan_node& n = p.node(i);
  if (n.origin == node_origin::written || n.ext != extended_op::join) return message;
  for (const std::string_view op : {std::string_view("product: "), std::string_view("select: ")}) {
    if (message.compare(0, op.size(), op) == 0) return "join: " + message.substr(op.size());
  }
  return message;
}
