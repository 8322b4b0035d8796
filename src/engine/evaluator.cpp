// Evaluation of a plan: a walk of its nodes with an explicit stack (so no
// depth of nesting costs stack), each node's operands evaluated left before
// right and its operator applied once they are, in the order a recursive
// evaluation would take; so the failure reported is the first one met.
#include "engine/evaluator.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "engine/errors.h"
#include "engine/extended_calls.h"
#include "engine/operators.h"
#include "engine/row_sort.h"
#include "engine/vector_ops.h"

namespace {

// The operands a node's operator is applied to: a selection over a product
// takes the product's operands and never builds it; `sets` marks those of
// union, minus and product, whose results do not depend on their
// operands' row order.
struct operand_list {
  const int32_t* leaves = nullptr;  // a join's, in the plan; else `pair`
  uint32_t size = 0;
  bool sets = false;
  int32_t pair[2] = {-1, -1};
  int32_t operator[](std::size_t k) const { return leaves != nullptr ? leaves[k] : pair[k]; }
};

operand_list operand_nodes(const plan& p, const plan_node& n) {
  operand_list out;
  const auto two = [&](int32_t a, int32_t b) {
    out.pair[0] = a;
    out.pair[1] = b;
    out.size = 2;
    out.sets = true;
  };
  switch (n.op) {
    case plan_op::union_:
    case plan_op::minus:
    case plan_op::product:
      two(n.left, n.right);
      break;
    case plan_op::select: {
      const plan_node& below = p.node(n.left);
      if (below.op == plan_op::product) {
        two(below.left, below.right);
      } else {
        out.pair[0] = n.left;
        out.size = 1;
      }
      break;
    }
    case plan_op::fail:
      // A refused extended call: its operands are evaluated first.
      out.pair[0] = n.left;
      out.pair[1] = n.right;
      out.size = n.left < 0 ? 0 : n.right < 0 ? 1 : 2;
      break;
    case plan_op::join: {
      const std::vector<int32_t>& leaves = p.join_of(n).leaves;
      out.leaves = leaves.data();
      out.size = static_cast<uint32_t>(leaves.size());
      break;
    }
    default:
      out.pair[0] = n.left;
      out.size = 1;
  }
  return out;
}

std::vector<std::string> name_texts(const std::vector<plan_name>& names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const plan_name& c : names) out.push_back(c.text);
  return out;
}

}  // namespace

relation evaluator::evaluate(const plan& p, eval_observer* observer,
                             const std::vector<const stored_table*>* tables) {
  using clock = std::chrono::steady_clock;
  plan_ = &p;
  tables_ = tables;
  struct frame {
    int32_t node;
    uint32_t state;  // how many operands are evaluated (or taken care of)
  };
  std::vector<frame> work{{p.root, 0}};
  std::vector<clock::time_point> starts;  // of the frames, when observed
  std::vector<relation> values;
  operands in;  // reused from node to node
  int32_t current = p.root;
  const auto done = [&](int32_t node, const relation& r, clock::time_point start) {
    if (observer != nullptr) {
      observer->finished(node, r, std::chrono::duration<double>(clock::now() - start).count());
    }
  };
  try {
    while (!work.empty()) {
      frame& f = work.back();
      current = f.node;
      const plan_node& n = p.node(f.node);
      if (observer != nullptr && f.state == 0) {
        starts.resize(work.size());
        starts.back() = clock::now();
      }
      if (n.op == plan_op::table) {
        values.push_back(relation::of(table_of(n)));
        if (observer != nullptr) done(f.node, values.back(), starts[work.size() - 1]);
        work.pop_back();
        continue;
      }
      const operand_list ops = operand_nodes(p, n);
      if (n.op == plan_op::fail && f.state == ops.size) {
        throw evaluation_error(p.message_of(n), f.node, p.message_span(n.arg), p.message_suggestion(n.arg));
      }
      // The operands of union, minus and product are taken sorted when they
      // name tables, and a table-name first operand only when the operation
      // is applied, so a deep chain holds no rows for it.
      const bool named_first = ops.sets && p.node(ops[0]).op == plan_op::table;
      if (f.state < ops.size) {
        const uint32_t k = f.state++;
        const int32_t c = ops[k];
        if (k == 0 && named_first) continue;
        if (ops.sets && p.node(c).op == plan_op::table) {
          values.push_back(sorted_operand(table_of(p.node(c))));
          if (observer != nullptr) observer->finished(c, values.back(), 0);
        } else {
          work.push_back({c, 0});
        }
        continue;
      }
      in.resize(ops.size);
      for (std::size_t k = ops.size; k-- > (named_first ? 1 : 0);) {
        in[k] = std::move(values.back());
        values.pop_back();
      }
      if (named_first) {
        in[0] = sorted_operand(table_of(p.node(ops[0])));
        if (observer != nullptr) observer->finished(ops[0], in[0], 0);
      }
      const int32_t node = f.node;
      values.push_back(apply(n, in));
      in.clear();
      if (observer != nullptr) done(node, values.back(), starts[work.size() - 1]);
      work.pop_back();
    }
  } catch (evaluation_error& e) {
    e.place(current, p.node(current).span);
    if (observer != nullptr) observer->failed(e.node());
    // The operation as written words it (a join's product speaks of join).
    std::string worded = message_as_written(p, e.node(), e.what());
    if (worded != e.what()) throw evaluation_error(worded, e.node(), e.span(), e.suggestion());
    throw;
  } catch (...) {
    if (observer != nullptr) observer->failed(current);
    throw;
  }
  relation result = std::move(values.back());
  return result;
}

const stored_table& evaluator::table_of(const plan_node& n) const {
  if (tables_ != nullptr) return *(*tables_)[static_cast<std::size_t>(n.arg)];
  return plan_->table_of(n);
}

int32_t evaluator::index_of(const plan_node& n) const {
  return static_cast<int32_t>(&n - plan_->nodes.data());
}

condition_ref evaluator::condition_of(const plan_node& n) const {
  return condition_ref{&plan_->conds, plan_->condition_of(n).root};
}

// ---- The operators ---------------------------------------------------------------

relation evaluator::apply(const plan_node& n, operands& in) {
  switch (n.op) {
    case plan_op::union_: return rel_union(std::move(in[0]), std::move(in[1]));
    case plan_op::minus: return rel_minus(std::move(in[0]), std::move(in[1]));
    case plan_op::product: return rel_product(std::move(in[0]), std::move(in[1]), limits_);
    case plan_op::project:
    case plan_op::rename: return names_op(n, in);
    case plan_op::select: return select(n, in);
    case plan_op::join: return join(n, in);
    default: break;
  }
  throw evaluation_error("unexpected plan node");
}

relation evaluator::names_op(const plan_node& n, operands& in) {
  const std::vector<std::string> names = name_texts(plan_->names_of(n));
  try {
    return n.op == plan_op::project ? rel_project(std::move(in[0]), names) : rel_rename(std::move(in[0]), names);
  } catch (evaluation_error& e) {
    e.place(index_of(n), plan_->names_span(n));
    throw;
  }
}

relation evaluator::select(const plan_node& n, operands& in) {
  const plan_condition& c = plan_->condition_of(n);
  const int32_t below = n.left;
  const bool over_product = plan_->node(below).op == plan_op::product;
  try {
    if (c.first_fail >= 0) {
      // The product's own refusals come first, as they would if it were
      // built before the condition is read.
      if (over_product) check_product(std::move(in[0]), std::move(in[1]), limits_);
      const cond_node& bad = plan_->cond(c.first_fail);
      throw evaluation_error(plan_->messages[static_cast<std::size_t>(bad.message)], index_of(n),
                             plan_->message_span(bad.message));
    }
    if (over_product) {
      return rel_select_product(std::move(in[0]), std::move(in[1]), condition_of(n), limits_);
    }
  } catch (evaluation_error& e) {
    e.place(below, plan_->node(below).span);
    throw;
  }
  return rel_select(std::move(in[0]), condition_of(n));
}

relation evaluator::join(const plan_node& n, operands& in) {
  const plan_join& j = plan_->join_of(n);
  const plan_node& sel = plan_->node(j.select);
  const relation header = region(j, sel.left, in, false);
  std::vector<int> cut;
  if (j.project >= 0) cut = project_positions(header.colnames, name_texts(plan_->names_of(plan_->node(j.project))));
  join_request req;
  req.place = &j.place;
  req.keys = &j.keys;
  req.keys_are_all = j.keys_are_all;
  req.condition = condition_of(sel);
  req.project = j.project >= 0 ? &cut : nullptr;
  req.colnames = header.colnames;
  relation out;
  if (!rel_join(in, req, limits_, out)) {
    // Rows a join cannot take as they are: make the products after all.
    out = region(j, sel.left, in, true);
    out = rel_select(std::move(out), condition_of(sel));
    if (j.project >= 0) out = rel_project(std::move(out), name_texts(plan_->names_of(plan_->node(j.project))));
    return out;
  }
  out.colnames = j.project >= 0 ? vector_project(header.colnames, cut) : header.colnames;
  out.coltypes = j.project >= 0 ? vector_project(header.coltypes, cut) : header.coltypes;
  return out;
}

relation evaluator::region(const plan_join& j, int32_t node, operands& leaves, bool rows) {
  const auto leaf = std::find(j.leaves.begin(), j.leaves.end(), node);
  if (leaf != j.leaves.end()) {
    relation& r = leaves[static_cast<std::size_t>(leaf - j.leaves.begin())];
    if (rows) return std::move(r);
    relation header;
    header.name = r.name;
    header.colnames = r.colnames;
    header.coltypes = r.coltypes;
    return header;
  }
  const plan_node& n = plan_->node(node);
  if (n.op == plan_op::rename) return rel_rename(region(j, n.left, leaves, rows), name_texts(plan_->names_of(n)));
  relation a = region(j, n.left, leaves, rows);
  relation b = region(j, n.right, leaves, rows);
  if (rows) return rel_product(std::move(a), std::move(b), limits_);
  product_header h = product_header_of(a.colnames, a.coltypes, b.colnames, b.coltypes);
  relation header;
  header.colnames = std::move(h.colnames);
  header.coltypes = std::move(h.coltypes);
  return header;
}

relation evaluator::sorted_operand(const stored_table& t) {
  // A table used once is best sorted together with the other operand; one
  // used again and again (deep queries) is sorted once and then merged.
  relation r = relation::of(t);
  if (uses_[&t]++ == 0) return r;
  auto& rows = sorted_[&t];
  if (!rows) {
    std::vector<rowref> v = r.rows;
    sort_unique(v);
    rows = std::make_shared<const std::vector<rowref>>(std::move(v));
  }
  r.rows = *rows;
  r.sorted = true;
  return r;
}
