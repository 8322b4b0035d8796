// Writing a block as a SELECT.
#include "sql/block.h"

#include <string_view>

#include "sql/condition.h"
#include "sql/identifiers.h"

namespace relalg_sql {

namespace {

// Where the word stands at depth 0 of the text's parentheses (outside
// strings and comments), or npos.
std::size_t at_depth_zero(const std::string& s, std::string_view word) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char ch = s[i];
    if (!quoted && s.compare(i, 2, "/*") == 0) {
      const std::size_t end = s.find("*/", i + 2);
      if (end == std::string::npos) return std::string::npos;
      i = end + 1;
      continue;
    }
    if (ch == '\'') quoted = !quoted;
    if (quoted) continue;
    if (ch == '(') ++depth;
    if (ch == ')') --depth;
    if (depth == 0 && s.compare(i, word.size(), word) == 0) return i;
  }
  return std::string::npos;
}

// A condition written over the block's columns.
std::string condition_text(const plan& p, const block& b, const condition_part& c, dialect d) {
  std::vector<cell_sql> columns;
  columns.reserve(c.columns.size());
  for (const col_ref& r : c.columns) columns.push_back(cell_of(b, r));
  return condition_sql(p, c.root, c.colnames, columns, d, true);
}

// Conditions joined by AND: one whose outermost connective is OR stands in
// parentheses.
std::string all_of(std::vector<std::string> parts, const std::string& joint) {
  std::string out;
  for (std::size_t j = 0; j < parts.size(); ++j) {
    if (parts.size() > 1 && at_depth_zero(parts[j], " OR ") != std::string::npos) parts[j] = "(" + parts[j] + ")";
    out += (j > 0 ? joint : std::string()) + parts[j];
  }
  return out;
}

bool is_true(const std::string& s) { return s == "TRUE"; }

}  // namespace

cell_sql cell_of(const block& b, const col_ref& c) {
  const std::string qual = ident(b.items[c.item].alias) + ".";
  cell_sql x;
  x.k = c.k;
  x.c = qual + ident(c.name);
  if (c.k == kind::mixed) x.t = qual + ident(c.text_name);
  return x;
}

std::vector<output_column> cells_named(const block& b, const std::vector<std::string>& names,
                                       const std::vector<std::string>& text_names) {
  std::vector<output_column> list;
  for (std::size_t i = 0; i < b.cols.size(); ++i) {
    const cell_sql x = cell_of(b, b.cols[i]);
    list.push_back({x.c, names[i]});
    if (x.k == kind::mixed) list.push_back({x.t, text_names[i]});
  }
  return list;
}

std::string render_select(const plan& p, const block& b, const std::vector<output_column>& list, bool distinct,
                          dialect d, std::size_t indent) {
  const std::string pad(indent, ' ');
  std::string out = pad + (distinct ? "SELECT DISTINCT " : "SELECT ");
  if (list.empty()) out += "0 AS z";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += ", ";
    out += list[i].sql;
    const std::string& name = list[i].name;
    if (name.empty()) continue;
    // A column read under its own name keeps it without AS.
    const std::string named = ident(name);
    const std::size_t dot = list[i].sql.rfind('.');
    if (dot != std::string::npos && list[i].sql.compare(dot + 1, std::string::npos, named) == 0) continue;
    out += " AS " + named;
  }
  for (std::size_t k = 0; k < b.items.size(); ++k) {
    const from_item& item = b.items[k];
    std::string source = ident(item.source);
    if (item.alias != item.source) source += " AS " + ident(item.alias);
    if (k == 0) {
      out += "\n" + pad + "FROM " + source;
      continue;
    }
    std::vector<std::string> on;
    for (const condition_part& c : b.on) {
      if (c.item == k) on.push_back(condition_text(p, b, c, d));
    }
    if (on.empty()) {
      out += "\n" + pad + "CROSS JOIN " + source;
      continue;
    }
    out += "\n" + pad + "JOIN " + source + " ON " + all_of(std::move(on), " AND ");
  }
  std::vector<std::string> where;
  for (const condition_part& c : b.where) {
    std::string s = condition_text(p, b, c, d);
    if (!is_true(s)) where.push_back(std::move(s));
  }
  if (!where.empty()) out += "\n" + pad + "WHERE " + all_of(std::move(where), "\n" + pad + "  AND ");
  return out;
}

}  // namespace relalg_sql
