// Tracing a wrong query on its counterexample: the query evaluated as
// written (no join planned, so that every operator the student wrote has
// its rows), a result row traced back by its values, and the operator
// where those values stop or pass.
#include "grade/where_wrong.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "engine/evaluator.h"
#include "engine/explain.h"
#include "engine/schema.h"
#include "engine/session.h"

namespace grade {

namespace {

constexpr long kAllRows = 1 << 20;  // rows kept of each node for the tracing

using cells_t = std::vector<std::string>;

std::string cell_text(const cell& c) { return c.is_int() ? std::to_string(c.ival()) : std::string(c.text()); }

// Whether `row` holds every value of `values`, repeats counted.
bool holds(const cells_t& row, const cells_t& values) {
  std::map<std::string, int> need;
  for (const std::string& v : values) ++need[v];
  for (const std::string& c : row) {
    const auto it = need.find(c);
    if (it != need.end() && it->second > 0) --it->second;
  }
  return std::all_of(need.begin(), need.end(), [](const auto& e) { return e.second <= 0; });
}

// The values two rows share, repeats counted, in the order of `a`.
cells_t shared(const cells_t& a, const cells_t& b) {
  std::map<std::string, int> have;
  for (const std::string& v : b) ++have[v];
  cells_t out;
  for (const std::string& v : a) {
    auto it = have.find(v);
    if (it != have.end() && it->second > 0) {
      --it->second;
      out.push_back(v);
    }
  }
  return out;
}

std::string row_text(const cells_t& row) {
  std::string out = "(";
  for (std::size_t i = 0; i < row.size(); ++i) out += (i > 0 ? ", " : "") + row[i];
  return out + ")";
}

struct traced {
  const plan* p = nullptr;
  const explain_recorder* rec = nullptr;
  std::vector<int32_t> parent;
};

// A row of the database, by table.
struct base_row {
  const stored_table* table = nullptr;
  std::string table_name;
  cells_t cells;
};

// The database row that shares the most values with `row` (the first
// such), if any shares one.
const base_row* source_of(const std::vector<base_row>& rows, const cells_t& row, cells_t& values) {
  const base_row* best = nullptr;
  for (const base_row& r : rows) {
    cells_t v = shared(row, r.cells);
    if (v.size() > values.size()) {
      values = std::move(v);
      best = &r;
    }
  }
  return best;
}

// The nodes from a leaf reading `table` up to the root, each with whether
// some row of its result holds `values` (a node without rows of its own,
// a product a selection never builds, takes its parent's word).
std::vector<std::vector<std::pair<int32_t, bool>>> paths(const traced& t, const stored_table* table,
                                                         const cells_t& values) {
  std::vector<std::vector<std::pair<int32_t, bool>>> out;
  for (std::size_t i = 0; i < t.p->nodes.size(); ++i) {
    const plan_node& n = t.p->nodes[i];
    if (n.op != plan_op::table || &t.p->table_of(n) != table) continue;
    if (!t.rec->records()[i].evaluated) continue;
    std::vector<std::pair<int32_t, bool>> path;
    for (auto at = static_cast<int32_t>(i); at >= 0; at = t.parent[static_cast<std::size_t>(at)]) {
      const auto& r = t.rec->records()[static_cast<std::size_t>(at)];
      if (!r.evaluated) continue;
      bool alive = false;
      for (const cells_t& row : r.trace) alive = alive || holds(row, values);
      path.emplace_back(at, alive);
    }
    out.push_back(std::move(path));
  }
  return out;
}

bool filters(const plan& p, int32_t node) {
  const plan_op op = p.node(node).op;
  return op == plan_op::select || op == plan_op::minus;
}

std::string place(const plan& p, int32_t node) {
  source_span s = p.node(node).span;
  while (s.begin < s.end && p.line[s.begin] == ' ') ++s.begin;
  return node_label(p, node) + " (1:" + std::to_string(s.begin + 1) + ")";
}

}  // namespace

where_wrong locate(const std::string& input, const std::vector<std::string>& missing,
                   const std::vector<std::string>& extra, std::size_t trace_rows, bool extended,
                   eval_limits limits) {
  where_wrong w;
  auto text = std::make_shared<const std::string>(input);
  session s(*text, text);
  s.parse_rows();
  // The query as written: every operator the student wrote is evaluated.
  parse_options po;
  po.extended = extended;
  const plan p = s.read(s.query(), po);
  const std::vector<node_schema> schemas = plan_schemas(p);
  if (p.root < 0 || !schemas[static_cast<std::size_t>(p.root)].ok || p.nodes.size() > kMostTracedNodes) return w;
  explain_recorder shown(p, static_cast<long>(trace_rows));
  explain_recorder all(p, kAllRows);
  try {
    evaluator(limits).evaluate(p, &shown);
    evaluator(limits).evaluate(p, &all);
  } catch (...) {
    return w;
  }
  w.trace = explain_text(p, schemas, shown, {}, false);

  traced t{&p, &all, std::vector<int32_t>(p.nodes.size(), -1)};
  for (std::size_t i = 0; i < p.nodes.size(); ++i) {
    for (const int32_t c : node_children(p, static_cast<int32_t>(i))) t.parent[static_cast<std::size_t>(c)] = static_cast<int32_t>(i);
  }
  // The rows of the tables the query reads: a row of another table is
  // never where a result row comes from.
  std::vector<const stored_table*> read;
  for (const plan_node& n : p.nodes) {
    if (n.op == plan_op::table) read.push_back(&p.table_of(n));
  }
  std::vector<base_row> rows;
  for (const auto& [name, table] : s.tables()) {
    if (std::find(read.begin(), read.end(), &table) == read.end()) continue;
    for (std::size_t i = 0; i < table.row_count(); ++i) {
      base_row b{&table, name, {}};
      const rowref r = table.row(i);
      for (uint32_t k = 0; k < r.w; ++k) b.cells.push_back(cell_text(r.c[k]));
      rows.push_back(std::move(b));
    }
  }

  // A lost row: its values, followed up from their table, stop somewhere.
  if (!missing.empty()) {
    cells_t values;
    if (const base_row* from = source_of(rows, missing, values)) {
      for (const auto& path : paths(t, from->table, values)) {
        const auto stop = std::find_if(path.begin(), path.end(), [](const auto& e) { return !e.second; });
        if (stop == path.end()) continue;
        w.lost_at = p.node(stop->first).span;
        w.lost = "the row " + row_text(from->cells) + " of " + from->table_name + " is lost at " +
                 place(p, stop->first);
        break;
      }
    }
  }
  // An extra row: the last operator that filters and lets its values
  // through on the way up; else where its values first stand together.
  if (!extra.empty()) {
    cells_t values;
    if (const base_row* from = source_of(rows, extra, values)) {
      for (const auto& path : paths(t, from->table, values)) {
        int32_t passed = -1;
        for (const auto& [node, alive] : path) {
          if (!alive) break;
          if (filters(p, node)) passed = node;
        }
        if (passed < 0) {
          const auto together = std::find_if(path.begin(), path.end(), [&](const auto& e) {
            const auto& r = all.records()[static_cast<std::size_t>(e.first)];
            return std::any_of(r.trace.begin(), r.trace.end(), [&](const cells_t& row) { return holds(row, extra); });
          });
          if (together == path.end()) continue;
          passed = together->first;
        }
        w.extra_at = p.node(passed).span;
        w.extra = "the extra row " + row_text(extra) + " comes from the row " + row_text(from->cells) + " of " +
                  from->table_name + ", which " + place(p, passed) +
                  (filters(p, passed) ? " lets through" : " makes it from");
        break;
      }
    }
  }
  return w;
}

where_wrong locate(const counterexample& cx, const engine_options& eo, std::size_t trace_rows) {
  if (!cx.reference.ok() || !cx.submission.ok() || cx.row_count > kMostTracedRows) return {};
  // A row one side holds more often than the other: the first of each.
  const auto first_surplus = [](const evaluation& a, const evaluation& b) -> std::vector<std::string> {
    std::unordered_map<std::string_view, long> count;
    for (const std::string_view r : b.row_lines()) ++count[r];
    const std::vector<std::string_view> rows = a.row_lines();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (count[rows[i]]-- <= 0) return a.cells(i);
    }
    return {};
  };
  return locate(cx.input, first_surplus(cx.reference, cx.submission), first_surplus(cx.submission, cx.reference),
                trace_rows, eo.extended, eval_limits{eo.max_rows, eo.memory_budget});
}

}  // namespace grade
