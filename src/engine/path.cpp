// The choice of a query's path, and the reasons given for it.
#include "engine/path.h"

#include "engine/rewrite.h"
#include "engine/show_text.h"
#include "engine/stream.h"

std::string_view path_name(eval_path path) {
  switch (path) {
    case eval_path::table_lines: return "printed from row lines";
    case eval_path::stream: return "streamed";
    case eval_path::set_lines: return "set of row lines";
    case eval_path::joined: return "joined";
    case eval_path::whole: return "evaluated whole";
  }
  return "evaluated whole";
}

bool path_needs_schemas(const plan& p, bool watched) {
  return watched || may_join(p) || stream_shape(p) || set_shape(p);
}

path_choice choose_path(const plan& p, const table_map& tables, const std::vector<node_schema>& schemas,
                        bool watched) {
  const plan_node& root = p.node(p.root);
  if (!watched) {
    // A table named by the whole line, not parsed yet (or without rows).
    const auto named = tables.find(p.line);
    if (named != tables.end() && (!named->second.parsed() || named->second.row_count() == 0)) {
      return {eval_path::table_lines, "the query names table " + show_text(p.line) +
                                          ", which is printed as its row lines are parsed"};
    }
    const bool whole_schema = !schemas.empty() && schemas[static_cast<std::size_t>(p.root)].ok;
    if (stream_shape(p) && whole_schema && streamable(p, schemas)) {
      return {eval_path::stream, "a selection or projection of one table: each row line is read once and "
                                 "only the rows of the result are kept"};
    }
    if (set_shape(p) && whole_schema) {
      return {eval_path::set_lines, std::string(operation_name(root.op)) +
                                        " of two tables: their row lines are compared as 64-bit keys "
                                        "(evaluated whole when they do not fit)"};
    }
  }
  for (const plan_node& n : p.nodes) {
    if (n.op == plan_op::join) {
      return {eval_path::joined, "every node is evaluated; a selection over a product whose condition "
                                 "equates columns of two operands is joined by hashing on them"};
    }
  }
  return {eval_path::whole, watched ? "every node is evaluated, so that it can be reported"
                                    : "every node is evaluated"};
}
