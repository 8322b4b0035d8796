// Recording node results, and writing the tree as text and as JSON.
#include "engine/explain.h"

#include <charconv>
#include <cstdio>

#include "engine/extended_calls.h"
#include "engine/json.h"
#include "engine/printer.h"

explain_recorder::explain_recorder(const plan& p, long trace_rows)
    : records_(p.nodes.size()), trace_rows_(trace_rows) {}

void explain_recorder::finished(int32_t node, const relation& result, double seconds) {
  node_record& r = records_[static_cast<std::size_t>(node)];
  r.evaluated = true;
  r.rows = result.rows.size();
  r.seconds = seconds;
  r.colnames = result.colnames;
  r.coltypes = result.coltypes;
  print_header(result.name, result.colnames, result.coltypes, r.header);
  r.header.pop_back();  // its line end
  if (trace_rows_ < 0) return;
  const std::size_t n = std::min(result.rows.size(), static_cast<std::size_t>(trace_rows_));
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<std::string> cells;
    const rowref& row = result.rows[i];
    for (uint32_t k = 0; k < row.w; ++k) {
      const cell& c = row.c[k];
      cells.push_back(c.is_int() ? std::to_string(c.v) : std::string(c.text()));
    }
    r.trace.push_back(std::move(cells));
  }
}

void explain_recorder::failed(int32_t node) {
  if (node >= 0) records_[static_cast<std::size_t>(node)].failed = true;
}

namespace {

// The text of a span as written, without the blanks at its edges.
std::string written(const plan& p, source_span s) {
  uint32_t b = s.begin;
  uint32_t e = std::min<uint32_t>(s.end, static_cast<uint32_t>(p.line.size()));
  while (b < e && p.line[b] == ' ') ++b;
  while (e > b && p.line[e - 1] == ' ') --e;
  return p.line.substr(b, e - b);
}

// A select whose operand is a product tests the pairs as they are made and
// never builds the product.
bool fused_product(const plan& p, int32_t parent, const plan_node& n) {
  return n.op == plan_op::product && parent >= 0 && p.node(parent).op == plan_op::select;
}

std::string short_label(const plan& p, int32_t i) {
  const plan_node& n = p.node(i);
  if (n.origin == node_origin::call) return std::string(extended_name(n.ext)) + "(...)";
  if (n.op == plan_op::table || n.op == plan_op::fail) return written(p, n.span);
  return std::string(operation_name(n.op)) + "(...)";
}

// The operands of a node as evaluation takes them.
std::vector<int32_t> children_of(const plan& p, const plan_node& n) {
  if (n.op == plan_op::join) return p.join_of(n).leaves;
  std::vector<int32_t> out;
  if (n.left >= 0) out.push_back(n.left);
  if (n.right >= 0) out.push_back(n.right);
  return out;
}

std::string label(const plan& p, const plan_node& n);

// A join, as the query wrote it, and the columns it hashes on.
std::string join_label(const plan& p, const plan_node& n) {
  const plan_join& j = p.join_of(n);
  std::string keys;
  for (const int32_t k : j.key_conds) {
    const cond_node& c = p.cond(k);
    keys += (keys.empty() ? "" : ", ") + p.conds.x(c).text + " = " + p.conds.y(c).text;
  }
  return label(p, p.node(j.replaces)) + " as a hash join on " + keys;
}

// A condition a definition made (extended.h): equalities of names under
// ANDs, each AND's right operand the next AND.
std::string made_condition(const plan& p, int32_t root) {
  std::string out;
  std::size_t open = 0;
  for (int32_t i = root; i >= 0;) {
    const cond_node& c = p.cond(i);
    if (c.op == cond_op::and_) {
      const cond_node& eq = p.cond(c.left);
      out += "AND(EQ(" + p.conds.x(eq).text + ", " + p.conds.y(eq).text + "), ";
      ++open;
      i = c.right;
    } else {
      out += "EQ(" + p.conds.x(c).text + ", " + p.conds.y(c).text + ")";
      i = -1;
    }
  }
  return out + std::string(open, ')');
}

// An extended call as written, its operands abbreviated.
std::string call_label(const plan& p, int32_t i) {
  const written_call c = call_of(p, i);
  std::string out = std::string(extended_name(c.op)) + "(" + short_label(p, c.left) + ", " + short_label(p, c.right);
  if (c.condition >= 0) out += ", " + written(p, p.cond(c.condition).span);
  return out + ")";
}

std::string label(const plan& p, const plan_node& n) {
  const std::string op(operation_name(n.op));
  if (n.origin == node_origin::call && n.op != plan_op::join) {
    return call_label(p, static_cast<int32_t>(&n - p.nodes.data()));
  }
  switch (n.op) {
    case plan_op::join:
      return join_label(p, n);
    case plan_op::table:
    case plan_op::fail:
      return written(p, n.span);
    case plan_op::union_:
    case plan_op::minus:
    case plan_op::product:
      return op + "(" + short_label(p, n.left) + ", " + short_label(p, n.right) + ")";
    case plan_op::project: {
      std::string out = op + "(" + short_label(p, n.left);
      for (const plan_name& c : p.names_of(n)) out += ", " + c.text;
      return out + ")";
    }
    case plan_op::rename: {
      const std::vector<plan_name>& names = p.names_of(n);
      std::string out = op + "(" + short_label(p, n.left) + ", " + (names.empty() ? "" : names[0].text) + "(";
      for (std::size_t k = 1; k < names.size(); ++k) out += (k > 1 ? "," : "") + names[k].text;
      return out + "))";
    }
    case plan_op::select:
      return op + "(" + short_label(p, n.left) + ", " +
             (n.origin == node_origin::definition ? made_condition(p, p.condition_of(n).root)
                                                  : written(p, p.cond(p.condition_of(n).root).span)) +
             ")";
  }
  return op;
}

std::string milliseconds(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", seconds * 1000);
  return buf;
}

// The node's own time: its operands' taken off.
double own_seconds(const plan& p, const explain_recorder& r, const plan_node& n, std::size_t i) {
  double t = r.records()[i].seconds;
  for (const int32_t c : children_of(p, n)) {
    const plan_node& child = p.node(c);
    if (fused_product(p, static_cast<int32_t>(i), child)) {
      for (const int32_t g : {child.left, child.right}) t -= r.records()[static_cast<std::size_t>(g)].seconds;
    } else {
      t -= r.records()[static_cast<std::size_t>(c)].seconds;
    }
  }
  return t > 0 ? t : 0;
}

// Visits the tree in order, a node before its operands, with its depth.
template <class Visit>
void walk(const plan& p, Visit&& visit) {
  struct item {
    int32_t node;
    int32_t parent;
    int depth;
  };
  std::vector<item> stack{{p.root, -1, 0}};
  while (!stack.empty()) {
    const item it = stack.back();
    stack.pop_back();
    visit(it.node, it.parent, it.depth);
    const std::vector<int32_t> children = children_of(p, p.node(it.node));
    for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back({*c, it.node, it.depth + 1});
  }
}

}  // namespace

std::string node_label(const plan& p, int32_t node) { return label(p, p.node(node)); }

std::vector<int32_t> node_children(const plan& p, int32_t node) { return children_of(p, p.node(node)); }

std::string explain_text(const plan& p, const std::vector<node_schema>& schemas,
                         const explain_recorder& r, const explained_path& path, bool times) {
  std::string out;
  walk(p, [&](int32_t i, int32_t parent, int depth) {
    const plan_node& n = p.node(i);
    const auto& rec = r.records()[static_cast<std::size_t>(i)];
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += indent + label(p, n) + " -> ";
    if (rec.failed) {
      out += "failed here\n";
    } else if (rec.evaluated) {
      out += rec.header + ": " + std::to_string(rec.rows) + (rec.rows == 1 ? " row" : " rows") +
             (times ? " in " + milliseconds(own_seconds(p, r, n, static_cast<std::size_t>(i))) + " ms" : "") + "\n";
      if (r.trace_rows() >= 0) {
        const std::string inner = indent + "    ";
        out += inner + rec.header + "\n";
        for (const auto& row : rec.trace) {
          std::string line;
          for (std::size_t k = 0; k < row.size(); ++k) line += (k > 0 ? "," : "") + row[k];
          out += inner + line + "\n";
        }
        if (rec.rows > rec.trace.size()) out += inner + "... (" + std::to_string(rec.rows - rec.trace.size()) + " more rows)\n";
      }
    } else if (fused_product(p, parent, n) && schemas[static_cast<std::size_t>(i)].ok) {
      std::string header;
      const node_schema& s = schemas[static_cast<std::size_t>(i)];
      print_header(s.name, s.colnames, s.coltypes, header);
      header.pop_back();
      out += header + ": not built, the selection above tests each pair of rows as it is made\n";
    } else {
      out += "not evaluated\n";
    }
  });
  if (!path.taken.why.empty()) {
    out += "path: " + std::string(path_name(path.taken.path)) + ": " + path.taken.why;
    if (path.plain.path != path.taken.path) {
      out += "; without --explain, --trace and --warn: " + std::string(path_name(path.plain.path));
    }
    out += "\n";
  }
  return out;
}

namespace {

void json_columns(std::string& out, const std::vector<std::string>& names, const std::vector<std::string>& types) {
  out += '[';
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0) out += ',';
    out += "{\"name\":";
    append_json_string(out, names[k]);
    out += ",\"type\":";
    append_json_string(out, k < types.size() ? types[k] : std::string());
    out += '}';
  }
  out += ']';
}

}  // namespace

std::string explain_json(const plan& p, const std::vector<node_schema>& schemas,
                         const explain_recorder& r, int status, const explained_path& path) {
  std::string out = "{\"query\":";
  append_json_string(out, p.line);
  out += ",\"status\":" + std::to_string(status) + ",\"path\":";
  append_json_string(out, path_name(path.taken.path));
  out += ",\"path_reason\":";
  append_json_string(out, path.taken.why);
  out += ",\"plain_path\":";
  append_json_string(out, path_name(path.plain.path));
  out += ",\"root\":" + std::to_string(p.root) + ",\"nodes\":[";
  bool first = true;
  walk(p, [&](int32_t i, int32_t parent, int) {
    const plan_node& n = p.node(i);
    const auto& rec = r.records()[static_cast<std::size_t>(i)];
    const node_schema& s = schemas[static_cast<std::size_t>(i)];
    if (!first) out += ',';
    first = false;
    out += "{\"id\":" + std::to_string(i) + ",\"op\":";
    append_json_string(out, n.op == plan_op::table  ? "table"
                     : n.op == plan_op::fail ? "fail"
                     : n.op == plan_op::join ? "join"
                                             : operation_name(n.op));
    if (n.ext != extended_op::none) {
      // A node of an extended operation: the one that stands for the call,
      // or one of its definition.
      out += ",\"extended\":";
      append_json_string(out, extended_name(n.ext));
      out += ",\"origin\":";
      append_json_string(out, n.origin == node_origin::call ? "call" : "definition");
    }
    out += ",\"label\":";
    append_json_string(out, label(p, n));
    out += ",\"text\":";
    append_json_string(out, written(p, n.span));
    out += ",\"span\":[" + std::to_string(n.span.begin) + "," + std::to_string(n.span.end) + "]";
    out += ",\"parent\":" + std::to_string(parent);
    out += ",\"children\":[";
    const std::vector<int32_t> children = children_of(p, n);
    for (std::size_t k = 0; k < children.size(); ++k) {
      if (k > 0) out += ',';
      out += std::to_string(children[k]);
    }
    out += "]";
    out += ",\"name\":";
    append_json_string(out, rec.evaluated ? rec.header.substr(0, rec.header.find('(')) : s.name);
    out += ",\"columns\":";
    if (rec.evaluated) {
      json_columns(out, rec.colnames, rec.coltypes);
    } else if (s.ok) {
      json_columns(out, s.colnames, s.coltypes);
    } else {
      out += "null";
    }
    out += ",\"evaluated\":" + std::string(rec.evaluated ? "true" : "false");
    out += ",\"failed\":" + std::string(rec.failed ? "true" : "false");
    out += ",\"fused\":" + std::string(fused_product(p, parent, n) ? "true" : "false");
    if (rec.evaluated) {
      out += ",\"rows\":" + std::to_string(rec.rows) + ",\"time\":" +
             milliseconds(own_seconds(p, r, n, static_cast<std::size_t>(i)));
    } else {
      out += ",\"rows\":null,\"time\":null";
    }
    if (r.trace_rows() >= 0 && rec.evaluated) {
      out += ",\"trace\":{\"rows\":[";
      for (std::size_t k = 0; k < rec.trace.size(); ++k) {
        if (k > 0) out += ',';
        out += '[';
        for (std::size_t c = 0; c < rec.trace[k].size(); ++c) {
          if (c > 0) out += ',';
          append_json_string(out, rec.trace[k][c]);
        }
        out += ']';
      }
      out += "],\"total\":" + std::to_string(rec.rows) +
             ",\"truncated\":" + (rec.rows > rec.trace.size() ? "true" : "false") + "}";
    }
    out += '}';
  });
  out += "]}\n";
  return out;
}
