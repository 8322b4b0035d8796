// Evaluation of a plan: a walk of its nodes with an explicit stack (so no
// depth of nesting costs stack), each node's operands evaluated left before
// right and its handler applied once they are, in the order a recursive
// evaluation would take; so the failure reported is the first one met.
#include "algo.h"

#include <chrono>
#include <utility>

#include "engine/errors.h"
#include "engine/operators.h"
#include "engine/loader.h"
#include "engine/row_sort.h"

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
  const plan p = read(std::move(text));
  return table_of(evaluate(p));
}

plan algo::read(std::string query, parse_options options) const {
  return parse_query(std::move(query), db.tables, options);
}

std::pair<int32_t, int32_t> algo::operand_nodes(const plan_node& n) const {
  switch (n.op) {
    case plan_op::union_:
    case plan_op::minus:
    case plan_op::product:
      return {n.left, n.right};
    case plan_op::select: {
      const plan_node& below = plan_->node(n.left);
      if (below.op == plan_op::product) return {below.left, below.right};
      return {n.left, -1};
    }
    default:
      return {n.left, -1};
  }
}

relation algo::evaluate(const plan& p, eval_observer* observer) {
  using clock = std::chrono::steady_clock;
  plan_ = &p;
  struct frame {
    int32_t node;
    uint8_t state;  // 0: nothing evaluated; 1: the left operand; 2: both
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
      const auto [l, r] = operand_nodes(n);
      const bool binary = r >= 0;
      const bool named_left = binary && p.node(l).op == plan_op::table;
      if (f.state == 0) {
        // A table-name left operand of a binary operation is taken only when
        // the operation is applied, so a deep chain holds no rows for it.
        f.state = 1;
        if (!named_left) work.push_back({l, 0});
        continue;
      }
      if (f.state == 1 && binary) {
        f.state = 2;
        if (p.node(r).op == plan_op::table) {
          values.push_back(sorted_operand(p.table_of(p.node(r))));
          if (observer != nullptr) observer->finished(r, values.back(), 0);
        } else {
          work.push_back({r, 0});
        }
        continue;
      }
      operands in;
      if (binary) {
        in.right = std::move(values.back());
        values.pop_back();
      }
      if (named_left) {
        in.left = sorted_operand(p.table_of(p.node(l)));
        if (observer != nullptr) observer->finished(l, in.left, 0);
      } else {
        in.left = std::move(values.back());
        values.pop_back();
      }
      const int32_t node = f.node;
      values.push_back((this->*by_op_[static_cast<std::size_t>(n.op)])(n, in));
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
  return rel_union(std::move(in.left), std::move(in.right));
}

relation algo::minus(const plan_node&, operands& in) {
  return rel_minus(std::move(in.left), std::move(in.right));
}

relation algo::product(const plan_node&, operands& in) {
  return rel_product(std::move(in.left), std::move(in.right), limits_);
}

relation algo::project(const plan_node& n, operands& in) {
  std::vector<std::string> cols;
  for (const plan_name& c : plan_->names_of(n)) cols.push_back(c.text);
  try {
    return rel_project(std::move(in.left), cols);
  } catch (evaluation_error& e) {
    e.place(static_cast<int32_t>(&n - plan_->nodes.data()), plan_->names_span(n));
    throw;
  }
}

relation algo::rename(const plan_node& n, operands& in) {
  std::vector<std::string> names;
  for (const plan_name& c : plan_->names_of(n)) names.push_back(c.text);
  try {
    return rel_rename(std::move(in.left), names);
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
      if (over_product) check_product(std::move(in.left), std::move(in.right), limits_);
      const cond_node& bad = plan_->cond(c.first_fail);
      throw evaluation_error(plan_->messages[static_cast<std::size_t>(bad.message)],
                             static_cast<int32_t>(&n - plan_->nodes.data()), plan_->message_span(bad.message));
    }
    if (over_product) {
      return rel_select_product(std::move(in.left), std::move(in.right), condition_of(n), limits_);
    }
  } catch (evaluation_error& e) {
    e.place(below, plan_->node(below).span);
    throw;
  }
  return rel_select(std::move(in.left), condition_of(n));
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
