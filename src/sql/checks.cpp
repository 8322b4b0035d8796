// Refusals with evaluation's messages, the dialects' limits, and the
// column rules of product and project, shared by both translations.
#include "sql/checks.h"

#include <algorithm>
#include <set>
#include <utility>

#include "engine/printer.h"
#include "engine/show_text.h"

namespace relalg_sql {

std::string header_line(const std::string& name, const std::vector<std::string>& colnames,
                        const std::vector<std::string>& coltypes) {
  std::string s;
  print_header(name, colnames, coltypes, s);
  s.pop_back();  // the line feed
  return s;
}

std::size_t plan_depth(const plan& p) {
  if (p.root < 0) return 0;
  std::size_t most = 0;
  std::vector<std::pair<int32_t, std::size_t>> todo{{p.root, 1}};
  while (!todo.empty()) {
    const auto [i, depth] = todo.back();
    todo.pop_back();
    most = std::max(most, depth);
    const plan_node& n = p.node(i);
    if (n.left >= 0) todo.emplace_back(n.left, depth + 1);
    if (n.right >= 0) todo.emplace_back(n.right, depth + 1);
  }
  return most;
}

void check_size(const plan_node& n, std::size_t depth, std::size_t columns, dialect d,
                const std::string& table_name) {
  if (depth > max_query_depth(d)) {
    throw refusal(concat({"the query is nested more than ", std::to_string(max_query_depth(d)),
                          " levels deep here, deeper than SQL for ", dialect_title(d), " is written"}),
                  n.span);
  }
  const std::size_t most = max_columns(d);
  if (most == 0 || columns + 1 <= most) return;
  if (n.op == plan_op::table) {
    throw refusal("cannot write table " + show_text(table_name) + " as SQL: it has " + std::to_string(columns) +
                      " columns, and a " + std::string(dialect_title(d)) + " table holds at most " +
                      std::to_string(most - 1) + " beside the row positions",
                  n.span);
  }
  throw refusal(std::string(operation_name(n.op)) + ": cannot be written in SQL: the result has " +
                    std::to_string(columns) + " columns, and a " + std::string(dialect_title(d)) +
                    " select list holds at most " + std::to_string(most - 1) + " beside the row positions",
                n.span);
}

std::vector<std::size_t> product_layout(const plan_node& n, const std::vector<std::string>& a,
                                        const std::vector<std::string>& b) {
  std::vector<std::string> names = a;
  names.insert(names.end(), b.begin(), b.end());
  std::set<std::string> seen;
  std::set<std::string> repeated;
  for (const std::string& c : names) {
    if (!seen.insert(c).second) repeated.insert(c);
  }
  if (!repeated.empty()) {
    const std::string& c = *repeated.begin();
    const bool in_a = std::find(a.begin(), a.end(), c) != a.end();
    const bool in_b = std::find(b.begin(), b.end(), c) != b.end();
    throw refusal("product: column " + show_text(c) +
                      (in_a && in_b ? " appears in both operands" : " appears twice in one operand") +
                      "; use rename to make the column names distinct",
                  n.span);
  }
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return names[x] < names[y]; });
  return order;
}

void check_rename(const plan_node& n, std::size_t columns, std::size_t names) {
  const std::size_t want = columns + 1;
  if (names >= want) return;
  throw refusal(concat({"rename: expected ", std::to_string(want)}) + " names (the table name and " +
                    std::to_string(want - 1) + " column name" + (want == 2 ? "" : "s") + "), got " +
                    std::to_string(names) + "; write rename(E,N(c1,...,cn))",
                n.span);
}

void check_project(const plan& p, const plan_node& n, std::size_t columns) {
  const std::vector<plan_name>& list = p.names_of(n);
  if (list.empty() || columns > 0) return;
  throw refusal("project: the table has no columns to project onto (listed: " + show_text(list.front().text) + ")",
                n.span);
}

void check_condition(const plan& p, const plan_node& n) {
  const plan_condition& cond = p.condition_of(n);
  if (cond.first_fail < 0) return;
  const cond_node& bad = p.cond(cond.first_fail);
  throw refusal(bad.message >= 0 ? p.messages[static_cast<std::size_t>(bad.message)]
                                 : std::string("select: the condition is not a predicate"),
                bad.span);
}

void check_union(const plan_node& n, std::size_t a, std::size_t b) {
  if (a == b) return;
  throw refusal("union: cannot be written in SQL: the operands have " + std::to_string(a) + " and " +
                    std::to_string(b) + " columns, and the rows of a SQL table all have one width",
                n.span);
}

std::size_t projected_column(const std::vector<std::string>& colnames, const std::string& name) {
  for (std::size_t c = colnames.size(); c-- > 0;) {
    if (colnames[c] == name) return c;
  }
  return 0;
}

}  // namespace relalg_sql
