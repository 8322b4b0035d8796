// Named steps of the WITH clause, and making a SELECT one.
#include "sql/steps.h"

#include <algorithm>
#include <set>

#include "engine/show_text.h"
#include "sql/checks.h"

namespace relalg_sql {

// A step's comment: the operation as written, blanks at its ends dropped,
// cut after 100 bytes.
std::string comment_of(const plan& p, const plan_node& n) {
  std::size_t b = n.span.begin;
  std::size_t e = std::min<std::size_t>(n.span.end, p.line.size());
  while (b < e && p.line[b] == ' ') ++b;
  while (e > b && p.line[e - 1] == ' ') --e;
  std::string text = p.line.substr(b, e - b);
  if (text.size() > 100) {
    std::size_t cut = 97;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) --cut;
    text = text.substr(0, cut) + "...";
  }
  return comment_text(visible_text(text));
}

step_writer::step_writer(const plan& p, const catalog_names& tables, dialect d)
    : p_(p), d_(d), registry_(d), materialized_(plan_depth(p) > merge_depth(d)) {
  for (const auto& [name, sql] : tables) registry_.reserve(sql.table);
}

std::string step_writer::name(std::string_view op) {
  return registry_.claim(concat({op, "_", std::to_string(++count_)}), "step");
}

void step_writer::add(const std::string& name, const std::string& comment, const std::string& body) {
  if (!with_.empty()) with_ += ",\n";
  with_ += "  -- " + comment + "\n  " + ident(name) + (materialized_ ? " AS MATERIALIZED (\n" : " AS (\n") + body +
           "\n  )";
}

void step_writer::materialize(rel& r, std::string_view op, const std::string& comment) {
  const std::string step = name(op);
  std::set<std::string> taken;
  const std::vector<std::string> names = step_column_names(d_, r.colnames, taken);
  std::vector<std::string> text_names(names.size());
  const auto free_name = [&](const std::string& wanted) {
    for (int n = 1;; ++n) {
      std::string candidate = n == 1 ? wanted : concat({wanted, std::to_string(n)});
      if (taken.insert(folded_name(d_, candidate)).second) return candidate;
    }
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (r.kinds[i] == kind::mixed) text_names[i] = free_name(names[i] + "_text");
  }
  std::vector<output_column> list = cells_named(r.b, names, text_names);
  std::string position;
  if (r.b.keyed) {
    position = free_name("#");
    list.push_back({cell_of(r.b, r.b.position).c, position});
  }
  add(step, comment, render_select(p_, r.b, list, r.b.distinct, d_, 4));
  block next;
  next.items.push_back({step, step});
  for (std::size_t i = 0; i < names.size(); ++i) next.cols.push_back({0, names[i], text_names[i], r.kinds[i]});
  next.keyed = r.b.keyed;
  if (next.keyed) next.position = {0, position, "", kind::integer};
  r.b = std::move(next);
}

block step_writer::positional(std::string_view op, const std::string& comment, const std::string& body,
                              const std::vector<kind>& kinds) {
  const std::string step = name(op);
  add(step, comment, body);
  block b;
  b.items.push_back({step, step});
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    b.cols.push_back({0, cell_column(i), kinds[i] == kind::mixed ? text_part(i) : "", kinds[i]});
  }
  return b;
}

}  // namespace relalg_sql
