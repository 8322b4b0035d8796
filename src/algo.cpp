// Evaluation of a plan: a walk of its nodes with an explicit stack (so no
// depth of nesting costs stack), each node's operands evaluated left before
// right and its handler applied once they are, in the order a recursive
// evaluation would take; so the failure reported is the first one met.
#include "algo.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "engine/errors.h"
#include "engine/operators.h"
#include "engine/loader.h"
#include "engine/rewrite.h"
#include "engine/row_sort.h"
#include "engine/schema.h"
#include "engine/vector_ops.h"

algo::algo(database catalog, eval_limits limits) : db(std::move(catalog)), limits_(limits) {
  opmap = {
      {"union", &algo::union_},     {"minus", &algo::minus},   {"product", &algo::product},
      {"project", &algo::project}, {"rename", &algo::rename}, {"select", &algo::select},
  };
  for (const auto& [name, h] : opmap) by_op_[static_cast<std::size_t>(operation_named(name))] = h;
  parse_all_pending(db.tables);
}

algo::~algo() = default;

table algo::interpreter(std::string text) {
  plan p = read(std::move(text));
  if (may_join(p)) {
    std::vector<node_schema> schemas = plan_schemas(p);
    rewrite_joins(p, schemas);
  }
  return table_of(evaluate(p));
}

plan algo::read(std::string query, parse_options options) const {
  return parse_query(std::move(query), db.tables, options);
}

algo::operand_list algo::operand_nodes(const plan_node& n) const {
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
      const plan_node& below = plan_->node(n.left);
      if (below.op == plan_op::product) {
        two(below.left, below.right);
      } else {
        out.pair[0] = n.left;
        out.size = 1;
      }
      break;
    }
    case plan_op::join: {
      const std::vector<int32_t>& leaves = plan_->join_of(n).leaves;
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

relation algo::evaluate(const plan& p, eval_observer* observer) {
  using clock = std::chrono::steady_clock;
  plan_ = &p;
  struct frame {
    int32_t node;
    uint32_t state;  // how many operands are evaluated (or taken care of)
  };
  std::vector<frame> work{{p.root, 0}};
  std::vector<clock::time_point> starts;  // of the frames, when observed
  std::vector<relation> values;
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
        values.push_back(table_rows(p.table_of(n)));
        if (observer != nullptr) done(f.node, values.back(), starts[work.size() - 1]);
        work.pop_back();
        continue;
      }
      if (n.op == plan_op::fail) throw evaluation_error(p.message_of(n), f.node, p.message_span(n.arg));
      const operand_list ops = operand_nodes(n);
      // The operands of union, minus and product are taken sorted when they
      // name tables, and a table-name first operand only when the operation
      // is applied, so a deep chain holds no rows for it.
      const bool named_first = ops.sets && p.node(ops[0]).op == plan_op::table;
      if (f.state < ops.size) {
        const uint32_t k = f.state++;
        const int32_t c = ops[k];
        if (k == 0 && named_first) continue;
        if (ops.sets && p.node(c).op == plan_op::table) {
          values.push_back(sorted_operand(p.table_of(p.node(c))));
          if (observer != nullptr) observer->finished(c, values.back(), 0);
        } else {
          work.push_back({c, 0});
        }
        continue;
      }
      operands& in = in_;
      in.resize(ops.size);
      for (std::size_t k = ops.size; k-- > (named_first ? 1 : 0);) {
        in[k] = std::move(values.back());
        values.pop_back();
      }
      if (named_first) {
        in[0] = sorted_operand(p.table_of(p.node(ops[0])));
        if (observer != nullptr) observer->finished(ops[0], in[0], 0);
      }
      const int32_t node = f.node;
      const handler h = n.op == plan_op::join ? &algo::join : by_op_[static_cast<std::size_t>(n.op)];
      values.push_back((this->*h)(n, in));
      in.clear();
      if (observer != nullptr) done(node, values.back(), starts[work.size() - 1]);
      work.pop_back();
    }
  } catch (evaluation_error& e) {
    const plan_node& n = p.node(current);
    e.place(current, n.span);
    if (observer != nullptr) observer->failed(e.node());
    throw;
  } catch (...) {
    if (observer != nullptr) observer->failed(current);
    throw;
  }
  relation result = std::move(values.back());
  return result;
}

// ---- The handlers --------------------------------------------------------------

condition_ref algo::condition_of(const plan_node& n) const {
  return condition_ref{&plan_->conds, plan_->condition_of(n).root};
}

relation algo::union_(const plan_node&, operands& in) {
  return rel_union(std::move(in[0]), std::move(in[1]));
}

relation algo::minus(const plan_node&, operands& in) {
  return rel_minus(std::move(in[0]), std::move(in[1]));
}

relation algo::product(const plan_node&, operands& in) {
  return rel_product(std::move(in[0]), std::move(in[1]), limits_);
}

relation algo::project(const plan_node& n, operands& in) {
  std::vector<std::string> cols;
  for (const plan_name& c : plan_->names_of(n)) cols.push_back(c.text);
  try {
    return rel_project(std::move(in[0]), cols);
  } catch (evaluation_error& e) {
    e.place(static_cast<int32_t>(&n - plan_->nodes.data()), plan_->names_span(n));
    throw;
  }
}

relation algo::rename(const plan_node& n, operands& in) {
  std::vector<std::string> names;
  for (const plan_name& c : plan_->names_of(n)) names.push_back(c.text);
  try {
    return rel_rename(std::move(in[0]), names);
  } catch (evaluation_error& e) {
    e.place(static_cast<int32_t>(&n - plan_->nodes.data()), plan_->names_span(n));
    throw;
  }
}

relation algo::select(const plan_node& n, operands& in) {
  const plan_condition& c = plan_->condition_of(n);
  const int32_t below = n.left;
  const bool over_product = plan_->node(below).op == plan_op::product;
  try {
    if (c.first_fail >= 0) {
      // The product's own refusals come first, as they would if it were
      // built before the condition is read.
      if (over_product) check_product(std::move(in[0]), std::move(in[1]), limits_);
      const cond_node& bad = plan_->cond(c.first_fail);
      throw evaluation_error(plan_->messages[static_cast<std::size_t>(bad.message)],
                             static_cast<int32_t>(&n - plan_->nodes.data()), plan_->message_span(bad.message));
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

relation algo::join(const plan_node& n, operands& in) {
  const plan_join& j = plan_->join_of(n);
  const plan_node& sel = plan_->node(j.select);
  const relation header = region(j, sel.left, in, false);
  std::vector<std::string> names = header.colnames;
  std::vector<int> cut;
  if (j.project >= 0) {
    std::vector<std::string> cols;
    for (const plan_name& c : plan_->names_of(plan_->node(j.project))) cols.push_back(c.text);
    cut = project_positions(names, cols);
  }
  join_request req;
  req.place = &j.place;
  req.keys = &j.keys;
  req.keys_are_all = j.keys_are_all;
  req.condition = condition_of(sel);
  req.project = j.project >= 0 ? &cut : nullptr;
  std::vector<std::string> types = header.coltypes;
  req.colnames = names;
  relation out;
  if (!rel_join(in, req, limits_, out)) {
    // Rows a join cannot take as they are: make the products after all.
    out = region(j, sel.left, in, true);
    out = rel_select(std::move(out), condition_of(sel));
    if (j.project >= 0) {
      std::vector<std::string> cols;
      for (const plan_name& c : plan_->names_of(plan_->node(j.project))) cols.push_back(c.text);
      out = rel_project(std::move(out), cols);
    }
    return out;
  }
  if (j.project >= 0) {
    out.colnames = vector_project(names, cut);
    out.coltypes = vector_project(types, cut);
  } else {
    out.colnames = std::move(names);
    out.coltypes = std::move(types);
  }
  return out;
}

relation algo::region(const plan_join& j, int32_t node, operands& leaves, bool rows) {
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
  if (n.op == plan_op::rename) {
    std::vector<std::string> names;
    for (const plan_name& c : plan_->names_of(n)) names.push_back(c.text);
    return rel_rename(region(j, n.left, leaves, rows), names);
  }
  relation a = region(j, n.left, leaves, rows);
  relation b = region(j, n.right, leaves, rows);
  if (rows) return rel_product(std::move(a), std::move(b), limits_);
  // The product's header alone.
  const std::vector<int> place = product_layout(a.colnames, b.colnames);
  relation header;
  a.colnames.insert(a.colnames.end(), b.colnames.begin(), b.colnames.end());
  a.coltypes.insert(a.coltypes.end(), b.coltypes.begin(), b.coltypes.end());
  header.colnames = vector_swap(a.colnames, place);
  header.coltypes = vector_swap(a.coltypes, place);
  return header;
}

// ---- Catalog tables as operands -----------------------------------------------------

relation algo::table_rows(const stored_table& t) { return relation::of(t); }

relation algo::sorted_operand(const stored_table& t) {
  // A table used once is best sorted together with the other operand; one
  // used again and again (deep queries) is sorted once and then merged.
  relation r = table_rows(t);
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

// ---- The splitters -------------------------------------------------------------------

std::pair<std::string, std::string> algo::param2(std::string args) { return split_operands(args); }

std::pair<std::string, std::vector<std::string>> algo::paramproj(std::string args) {
  return split_projection(args);
}

std::pair<std::string, std::vector<std::string>> algo::paramren(std::string args) {
  return split_renaming(args);
}
