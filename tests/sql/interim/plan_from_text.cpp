// The query line read into a plan by the interpreter's splitters.
#include "plan_from_text.h"

#include <map>
#include <stdexcept>

#include "algo.h"
#include "logic.h"

namespace {

struct builder {
  const table_map& tables;
  plan& out;
  algo splitter;

  int32_t add(plan_node n) {
    out.nodes.push_back(std::move(n));
    return static_cast<int32_t>(out.nodes.size() - 1);
  }
  int32_t fail(const std::string& message) {
    plan_node n;
    n.op = plan_op::fail;
    n.arg = static_cast<int32_t>(out.messages.size());
    out.messages.push_back(message);
    return add(n);
  }
  std::vector<plan_name> names(const std::vector<std::string>& v) {
    std::vector<plan_name> r;
    for (const std::string& s : v) r.push_back({s, {}});
    return r;
  }

  int32_t cond(const logic& l) {
    cond_node c;
    c.keyword = l.op;
    if (l.op == "NOT") {
      c.op = cond_op::not_;
      c.left = cond(*l.left);
    } else if (l.op == "AND" || l.op == "OR") {
      c.op = l.op == "AND" ? cond_op::and_ : cond_op::or_;
      c.left = cond(*l.left);
      c.right = cond(*l.right);
    } else {
      static const std::map<std::string, cond_op> ops{{"EQ", cond_op::eq},   {"NEQ", cond_op::neq},
                                                     {"LT", cond_op::lt},   {"LTE", cond_op::lte},
                                                     {"GT", cond_op::gt},   {"GTE", cond_op::gte}};
      const auto it = ops.find(l.op);
      c.op = it == ops.end() ? cond_op::other : it->second;
      const auto operand = [](const std::unique_ptr<std::string>& name,
                              const std::unique_ptr<t_object>& value) {
        cond_operand o;
        if (name) {
          o.is_literal = false;
          o.name = *name;
        } else if (value) {
          o.value = *value;
        }
        return o;
      };
      c.x = operand(l.lname, l.lval);
      c.y = operand(l.rname, l.rval);
    }
    out.cond_nodes.push_back(std::move(c));
    return static_cast<int32_t>(out.cond_nodes.size() - 1);
  }

  int32_t build(const std::string& text) {
    if (const auto it = tables.find(text); it != tables.end()) {
      plan_node n;
      n.op = plan_op::table;
      n.arg = static_cast<int32_t>(out.tables.size());
      out.tables.push_back(&it->second);
      return add(n);
    }
    const std::size_t paren = text.find('(');
    if (paren == std::string::npos) return fail("no table named " + show_text(text));
    const std::string op = text.substr(0, paren);
    const std::string args = call_operands(text);
    plan_node n;
    if (op == "union" || op == "minus" || op == "product") {
      n.op = op == "union" ? plan_op::union_ : op == "minus" ? plan_op::minus : plan_op::product;
      const auto [l, r] = splitter.param2(args);
      n.left = build(l);
      n.right = build(r);
    } else if (op == "project" || op == "rename") {
      n.op = op == "project" ? plan_op::project : plan_op::rename;
      const auto [e, list] = op == "project" ? splitter.paramproj(args) : splitter.paramren(args);
      n.left = build(e);
      n.arg = static_cast<int32_t>(out.name_lists.size());
      out.name_lists.push_back(names(list));
    } else if (op == "select") {
      n.op = plan_op::select;
      const auto [e, condition] = splitter.param2(args);
      n.left = build(e);
      plan_condition pc;
      try {
        const logic l(condition);
        pc.root = cond(l);
      } catch (const std::runtime_error& x) {
        cond_node bad;
        bad.op = cond_op::fail;
        bad.message = static_cast<int32_t>(out.messages.size());
        out.messages.push_back(x.what());
        out.cond_nodes.push_back(bad);
        pc.root = pc.first_fail = static_cast<int32_t>(out.cond_nodes.size() - 1);
      }
      n.arg = static_cast<int32_t>(out.conditions.size());
      out.conditions.push_back(pc);
    } else {
      return fail("unknown operation " + show_text(op) + " in " + show_text(text));
    }
    return add(n);
  }
};

}  // namespace

table_map stored_tables(const database& db) {
  table_map out;
  for (const auto& [name, t] : db.tables) {
    stored_table s;
    s.name = name;
    s.colnames = t.colnames;
    s.coltypes = t.coltypes;
    for (const row& r : t.rows) {
      for (std::size_t c = 0; c < t.colnames.size(); ++c) {
        s.cells.push_back(c < r.size() ? cell::of(r[c]) : cell::of_int(0));
      }
      ++s.rows;
    }
    out.emplace(name, std::move(s));
  }
  return out;
}

plan build_plan(const std::string& query, const table_map& tables) {
  plan out;
  out.line = query;
  builder b{tables, out, algo(database())};
  out.root = b.build(query);
  return out;
}
