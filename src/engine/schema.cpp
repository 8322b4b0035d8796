// Headers of plan nodes, children first: a node's children always come
// after it in the plan's node list, so one pass from the end finds them.
#include "engine/schema.h"

#include <algorithm>

#include "engine/errors.h"
#include "engine/extended_calls.h"
#include "engine/operators.h"
#include "engine/vector_ops.h"

namespace {

std::vector<std::string> texts(const std::vector<plan_name>& names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const plan_name& n : names) out.push_back(n.text);
  return out;
}

}  // namespace

std::vector<node_schema> plan_schemas(const plan& p) {
  std::vector<node_schema> s(p.nodes.size());
  for (std::size_t i = p.nodes.size(); i-- > 0;) s[i] = node_schema_of(p, static_cast<int32_t>(i), s);
  return s;
}

node_schema node_schema_of(const plan& p, int32_t i, const std::vector<node_schema>& s) {
  const plan_node& n = p.node(i);
  node_schema out;
  const auto fail = [&](std::string message, source_span at, std::string suggestion = {}) {
    out.ok = false;
    out.error = std::move(message);
    out.at = at;
    out.suggestion = std::move(suggestion);
  };
  // The first operand that fails, left before right, is the failure met.
  const node_schema* left = n.left >= 0 ? &s[static_cast<std::size_t>(n.left)] : nullptr;
  const node_schema* right = n.right >= 0 ? &s[static_cast<std::size_t>(n.right)] : nullptr;
  if (left != nullptr && !left->ok) {
    fail(left->error, left->at, left->suggestion);
    return out;
  }
  if (right != nullptr && !right->ok) {
    fail(right->error, right->at, right->suggestion);
    return out;
  }
  out.ok = true;
  try {
    switch (n.op) {
      case plan_op::table: {
        const stored_table& t = p.table_of(n);
        out.name = t.name;
        out.colnames = t.colnames;
        out.coltypes = t.coltypes;
        break;
      }
      case plan_op::fail:
        fail(p.message_of(n), p.message_span(n.arg), p.message_suggestion(n.arg));
        break;
      case plan_op::union_:
        out.name = left->name;
        out.colnames = left->colnames;
        out.coltypes = left->coltypes;
        break;
      case plan_op::minus:
        out.colnames = left->colnames;
        out.coltypes = left->coltypes;
        break;
      case plan_op::product: {
        product_header h = product_header_of(left->colnames, left->coltypes, right->colnames, right->coltypes);
        out.colnames = std::move(h.colnames);
        out.coltypes = std::move(h.coltypes);
        out.place = std::move(h.place);
        break;
      }
      case plan_op::project: {
        const std::vector<int> idx = project_positions(left->colnames, texts(p.names_of(n)));
        out.colnames = vector_project(left->colnames, idx);
        out.coltypes = vector_project(left->coltypes, idx);
        break;
      }
      case plan_op::rename: {
        const std::vector<plan_name>& names = p.names_of(n);
        check_rename(left->colnames.size(), names.size());
        out.name = names[0].text;
        out.colnames = left->colnames;
        for (std::size_t k = 0; k < out.colnames.size(); ++k) out.colnames[k] = names[k + 1].text;
        out.coltypes = left->coltypes;
        break;
      }
      case plan_op::join:
        // A plan as read has none; rewrite_joins gives them their schemas.
        fail("a join", n.span);
        break;
      case plan_op::select: {
        const plan_condition& c = p.condition_of(n);
        if (c.first_fail >= 0) {
          const cond_node& bad = p.cond(c.first_fail);
          fail(p.messages[static_cast<std::size_t>(bad.message)], p.message_span(bad.message));
          break;
        }
        out.colnames = left->colnames;
        out.coltypes = left->coltypes;
        break;
      }
    }
  } catch (const evaluation_error& e) {
    const source_span at = n.op == plan_op::project || n.op == plan_op::rename ? p.names_span(n) : n.span;
    fail(message_as_written(p, i, e.what()), at);
  }
  return out;
}
