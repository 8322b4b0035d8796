// The table as a value: parsing its lines, converting it to and from the
// engine's relations, printing it, and the operators over tables.
#include "table.h"

#include <algorithm>
#include <memory>

#include "engine/operators.h"
#include "engine/parser.h"
#include "engine/printer.h"
#include "engine/row_order.h"
#include "engine/row_sort.h"
#include "engine/row_text.h"
#include "logic.h"

void table::def(std::string line) {
  header_line h = parse_header(line);
  name = std::move(h.name);
  colnames.insert(colnames.end(), h.colnames.begin(), h.colnames.end());
  coltypes.insert(coltypes.end(), h.coltypes.begin(), h.coltypes.end());
}

void table::newline(std::string line) { append_row(line); }

void table::append_row(std::string_view line) {
  const std::vector<bool> is_int = int_columns(coltypes);
  row r;
  r.reserve(coltypes.size());
  scan_row(line, coltypes.size(), [&](std::size_t j, std::string_view value) {
    if (is_int[j]) {
      r.emplace_back(static_cast<int>(text_to_int(value)));
    } else {
      r.emplace_back(std::string(value));
    }
  });
  rows.push_back(std::move(r));
}

relation relation_of(const table& t) {
  relation r;
  r.name = t.name;
  r.colnames = t.colnames;
  r.coltypes = t.coltypes;
  std::size_t total = 0;
  for (const row& x : t.rows) total += x.size();
  auto store = new_cells(total);
  r.rows.reserve(t.rows.size());
  for (const row& x : t.rows) {
    const cell* first = store->data() + store->size();
    for (const t_object& v : x) store->push_back(cell::of(v));
    r.rows.push_back({first, static_cast<uint32_t>(x.size())});
  }
  r.owners.push_back(std::move(store));
  return r;
}

table table_of(const relation& r) {
  table t;
  t.name = r.name;
  t.colnames = r.colnames;
  t.coltypes = r.coltypes;
  for (const rowref& x : r.rows) {
    row values;
    values.reserve(x.w);
    for (uint32_t i = 0; i < x.w; ++i) values.push_back(x.c[i].value());
    t.rows.push_back(std::move(values));
  }
  return t;
}

void print_table(const table& t, std::string& buf,
                 const std::function<void(std::string&)>& spill, std::size_t chunk) {
  print_relation(relation_of(t), buf, spill, chunk);
}

std::ostream& operator<<(std::ostream& out, const table& t) {
  std::string buf;
  const auto spill = [&out](std::string& b) {
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    b.clear();
  };
  print_table(t, buf, spill, 1 << 16);
  spill(buf);
  return out;
}

namespace {

// A row's cells as the engine reads them (views of the row's values).
std::vector<cell> cells_of(const row& r) {
  std::vector<cell> out;
  out.reserve(r.size());
  for (const t_object& v : r) out.push_back(cell::of(v));
  return out;
}

}  // namespace

int row_order(const row& x, const row& y) {
  const std::vector<cell> a = cells_of(x);
  const std::vector<cell> b = cells_of(y);
  return ref_order({a.data(), static_cast<uint32_t>(a.size())}, {b.data(), static_cast<uint32_t>(b.size())});
}

bool row_equal(const row& x, const row& y) {
  const std::vector<cell> a = cells_of(x);
  const std::vector<cell> b = cells_of(y);
  return ref_equal({a.data(), static_cast<uint32_t>(a.size())}, {b.data(), static_cast<uint32_t>(b.size())});
}

void sort_and_collapse(std::list<row>& rows) {
  // The engine's sort-and-collapse over views of the rows' values; the
  // rows it keeps are then made again from those views.
  relation r;
  std::vector<cell> store;
  std::size_t total = 0;
  for (const row& x : rows) total += x.size();
  store.reserve(total);
  for (const row& x : rows) {
    const cell* first = store.data() + store.size();
    for (const t_object& v : x) store.push_back(cell::of(v));
    r.rows.push_back({first, static_cast<uint32_t>(x.size())});
  }
  sort_unique(r.rows);
  table sorted = table_of(r);
  rows.swap(sorted.rows);
}

table operator+(const table& a, const table& b) {
  return table_of(rel_union(relation_of(a), relation_of(b)));
}
table operator-(const table& a, const table& b) {
  return table_of(rel_minus(relation_of(a), relation_of(b)));
}
table operator*(const table& a, const table& b) {
  return table_of(rel_product(relation_of(a), relation_of(b), eval_limits{}));
}
table project(const table& t, const std::vector<std::string>& cols) {
  return table_of(rel_project(relation_of(t), cols));
}
table rename(const table& t, const std::vector<std::string>& names) {
  return table_of(rel_rename(relation_of(t), names));
}
table select(const table& t, const std::string& condition) {
  const logic root(condition);
  return select(t, root);
}
table select(const table& t, const logic& condition) {
  const cond_tree tree = condition_nodes(condition);
  return table_of(rel_select(relation_of(t), condition_ref{&tree, 0}));
}
