#include "table.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>

#include "logic.h"

// ---- Parsing ---------------------------------------------------------------

void table::def(std::string line) {
  const std::size_t open = line.find('(');
  if (open == std::string::npos) {
    // Not a header of the usual form: the whole line names a table that has
    // no columns.
    name = line;
    return;
  }
  name = line.substr(0, open);
  const std::size_t n = line.size();
  std::size_t pos = open;
  // pos rests on the "(" or "," before each definition; a ")" there, or the
  // end of the line, ends the list.
  while (pos < n && line[pos] != ')') {
    ++pos;
    const std::size_t start = pos;
    int depth = 0;
    while (pos < n) {
      const char c = line[pos];
      if (c == ',' || (c == ')' && depth == 0)) break;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      ++pos;
    }
    std::string_view d(line.data() + start, pos - start);
    std::size_t i = 0;
    while (i < d.size() && d[i] == ' ') ++i;
    std::size_t j = i;
    while (j < d.size() && d[j] != ' ') ++j;
    std::string col(d.substr(i, j - i));
    while (j < d.size() && d[j] == ' ') ++j;
    std::size_t k = j;
    while (k < d.size() && d[k] != ' ') ++k;
    colnames.push_back(std::move(col));
    coltypes.emplace_back(d.substr(j, k - j));
  }
}

void table::newline(std::string line) { append_row(line); }

void table::append_row(std::string_view line) {
  const std::size_t n = line.size();
  std::size_t pos = 0;
  row r;
  r.reserve(colnames.size());
  for (const std::string& type : coltypes) {
    while (pos < n && (line[pos] == ' ' || line[pos] == ',')) ++pos;
    const std::size_t start = pos;
    int quotes = 0;
    // A blank or comma ends the value unless exactly one apostrophe has
    // been taken, i.e. inside a quoted run.
    while (pos < n) {
      const char c = line[pos];
      if ((c == ' ' || c == ',') && quotes != 1) break;
      if (c == '\'') ++quotes;
      ++pos;
    }
    const std::string_view value = line.substr(start, pos - start);
    if (pos < n) ++pos;
    if (type == "int") {
      r.emplace_back(static_cast<int>(text_to_int(value)));
    } else {
      r.emplace_back(std::string(value));
    }
  }
  rows.push_back(std::move(r));
}

// ---- Printing --------------------------------------------------------------

namespace {

void append_cell(std::string& buf, const t_object& v) {
  if (v.is_int) {
    char tmp[16];
    const auto res = std::to_chars(tmp, tmp + sizeof tmp, v.ival);
    buf.append(tmp, res.ptr);
  } else {
    buf += v.sval;
  }
}

}  // namespace

void print_table(const table& t, std::string& buf,
                 const std::function<void(std::string&)>& spill, std::size_t chunk) {
  buf += t.name;
  buf += '(';
  for (std::size_t i = 0; i < t.colnames.size(); ++i) {
    if (i > 0) buf += ", ";
    buf += t.colnames[i];
    buf += ' ';
    buf += t.coltypes[i];
  }
  buf += ")\n";
  for (const row& r : t.rows) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      if (i > 0) buf += ',';
      append_cell(buf, r[i]);
    }
    buf += '\n';
    if (buf.size() >= chunk) spill(buf);
  }
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

// ---- Row order and the sort-and-collapse step --------------------------------

int row_order(const row& x, const row& y) {
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int c = cell_order(x[i], y[i]);
    if (c != 0) return c;
  }
  return (x.size() > y.size()) - (x.size() < y.size());
}

bool row_equal(const row& x, const row& y) {
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

namespace {

// Sorts row pointers stably and drops every row equal to the last one kept.
// Pointers are cheap to move, and the rows themselves are touched only to
// compare them.
void sort_unique(std::vector<const row*>& v) {
  std::stable_sort(v.begin(), v.end(),
                   [](const row* a, const row* b) { return row_order(*a, *b) < 0; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (kept > 0 && row_equal(*v[kept - 1], *v[i])) continue;
    v[kept++] = v[i];
  }
  v.resize(kept);
}

std::list<row> copy_rows(const std::vector<const row*>& v) {
  std::list<row> out;
  for (const row* r : v) out.push_back(*r);
  return out;
}

std::vector<const row*> pointers(const std::list<row>& rows) {
  std::vector<const row*> v;
  v.reserve(rows.size());
  for (const row& r : rows) v.push_back(&r);
  return v;
}

std::size_t g_row_limit = SIZE_MAX;
std::size_t g_memory_budget = SIZE_MAX;

}  // namespace

void sort_and_collapse(std::list<row>& rows) {
  if (rows.size() < 2) return;
  std::vector<std::list<row>::iterator> v;
  v.reserve(rows.size());
  for (auto it = rows.begin(); it != rows.end(); ++it) v.push_back(it);
  std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
    return row_order(*a, *b) < 0;
  });
  // Relink the nodes in sorted order; repeats stay behind in the old list.
  std::list<row> sorted;
  for (const auto& it : v) {
    if (!sorted.empty() && row_equal(sorted.back(), *it)) continue;
    sorted.splice(sorted.end(), rows, it);
  }
  rows.swap(sorted);
}

void set_row_limit(std::size_t rows) { g_row_limit = rows; }
void set_memory_budget(std::size_t bytes) { g_memory_budget = bytes; }

// ---- Union and difference ------------------------------------------------------

table operator+(const table& a, const table& b) {
  table result;
  result.name = a.name;
  result.colnames = a.colnames;
  result.coltypes = a.coltypes;
  std::vector<const row*> v = pointers(a.rows);
  for (const row& r : b.rows) v.push_back(&r);
  sort_unique(v);
  result.rows = copy_rows(v);
  return result;
}

table operator-(const table& a, const table& b) {
  table result;
  result.colnames = a.colnames;
  result.coltypes = a.coltypes;
  std::vector<const row*> x = pointers(a.rows);
  std::vector<const row*> y = pointers(b.rows);
  sort_unique(x);
  sort_unique(y);
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < x.size() && j < y.size()) {
    if (row_equal(*x[i], *y[j])) {
      ++i;
      ++j;
    } else if (row_order(*x[i], *y[j]) < 0) {
      result.rows.push_back(*x[i++]);
    } else {
      ++j;
    }
  }
  for (; i < x.size(); ++i) result.rows.push_back(*x[i]);
  return result;
}

// ---- Product -------------------------------------------------------------------

namespace {

// The cell of r at position i, or the integer 0 when the row is too short.
const t_object& cell_or_zero(const row& r, std::size_t i) {
  static const t_object zero;
  return i < r.size() ? r[i] : zero;
}

}  // namespace

table operator*(const table& a, const table& b) {
  std::vector<std::string> names = a.colnames;
  names.insert(names.end(), b.colnames.begin(), b.colnames.end());
  std::vector<std::string> types = a.coltypes;
  types.insert(types.end(), b.coltypes.begin(), b.coltypes.end());

  // Columns are laid out in name order; the layout cannot place a name that
  // occurs twice, so such products are refused.
  std::set<std::string> seen;
  std::set<std::string> repeated;
  for (const std::string& n : names) {
    if (!seen.insert(n).second) repeated.insert(n);
  }
  if (!repeated.empty()) {
    const std::string& n = *repeated.begin();
    const bool in_a = std::find(a.colnames.begin(), a.colnames.end(), n) != a.colnames.end();
    const bool in_b = std::find(b.colnames.begin(), b.colnames.end(), n) != b.colnames.end();
    throw std::runtime_error("product: column " + show_text(n) +
                             (in_a && in_b ? " appears in both operands"
                                           : " appears twice in one operand") +
                             "; use rename to make the column names distinct");
  }
  std::map<std::string, int> rank;
  int next = 0;
  for (const std::string& n : seen) rank[n] = next++;
  std::vector<int> place;
  place.reserve(names.size());
  for (const std::string& n : names) place.push_back(rank[n]);

  const std::size_t na = a.colnames.size();
  // A row costs its cells plus its vector and list node.
  const std::size_t row_bytes = names.size() * sizeof(t_object) + 64;
  const std::size_t cap = std::min(g_row_limit, g_memory_budget / row_bytes);
  if (!a.rows.empty() && b.rows.size() > cap / a.rows.size()) {
    throw std::runtime_error(
        "product: the result would hold " + std::to_string(a.rows.size()) + " x " +
        std::to_string(b.rows.size()) + " rows, more than the limit of " + std::to_string(cap) +
        (cap == g_row_limit ? " set by --max-rows" : " that fit in memory"));
  }

  table result;
  result.colnames = vector_swap(names, place);
  result.coltypes = vector_swap(types, place);
  // source[k]: the combined position whose cell lands at position k.
  std::vector<std::size_t> source(names.size());
  for (std::size_t e = 0; e < place.size(); ++e) source[static_cast<std::size_t>(place[e])] = e;
  for (const row& x : a.rows) {
    for (const row& y : b.rows) {
      row r;
      r.reserve(source.size());
      for (std::size_t s : source) {
        r.push_back(s < na ? cell_or_zero(x, s) : cell_or_zero(y, s - na));
      }
      result.rows.push_back(std::move(r));
    }
  }
  sort_and_collapse(result.rows);
  return result;
}

// ---- Projection and renaming ------------------------------------------------------

table project(const table& t, const std::vector<std::string>& cols) {
  table result;
  if (cols.empty()) {
    // No columns listed: every row becomes the empty row, collapsed to one.
    if (!t.rows.empty()) result.rows.emplace_back();
    return result;
  }
  if (t.colnames.empty()) {
    throw std::runtime_error("project: the table has no columns to project onto (listed: " +
                             show_text(cols.front()) + ")");
  }
  // Later columns overwrite earlier ones, so a shared name picks the last.
  std::map<std::string, int, std::less<>> where;
  for (std::size_t i = 0; i < t.colnames.size(); ++i) where[t.colnames[i]] = static_cast<int>(i);
  std::vector<int> idx;
  idx.reserve(cols.size());
  for (const std::string& c : cols) {
    const auto it = where.find(c);
    idx.push_back(it == where.end() ? 0 : it->second);
  }
  result.colnames = vector_project(t.colnames, idx);
  result.coltypes = vector_project(t.coltypes, idx);

  // Project row pointers' cells into new rows, then sort and collapse.
  for (const row& r : t.rows) {
    row out;
    out.reserve(idx.size());
    for (int i : idx) out.push_back(cell_or_zero(r, static_cast<std::size_t>(i)));
    result.rows.push_back(std::move(out));
  }
  sort_and_collapse(result.rows);
  return result;
}

table rename(const table& t, const std::vector<std::string>& names) {
  const std::size_t want = t.colnames.size() + 1;
  if (names.size() < want) {
    throw std::runtime_error(
        "rename: expected " + std::to_string(want) + " names (the table name and " +
        std::to_string(want - 1) + " column name" + (want == 2 ? "" : "s") + "), got " +
        std::to_string(names.size()) + "; write rename(E,N(c1,...,cn))");
  }
  table result = t;
  result.name = names[0];
  for (std::size_t i = 0; i < result.colnames.size(); ++i) result.colnames[i] = names[i + 1];
  return result;
}

// ---- Selection -------------------------------------------------------------------

table select(const table& t, const std::string& condition) {
  const auto root = std::make_unique<logic>(condition);
  return select(t, *root);
}

table select(const table& t, const logic& condition) {
  table result;
  result.colnames = t.colnames;
  result.coltypes = t.coltypes;
  const bound_predicate test(condition, result.colnames);
  for (const row& r : t.rows) {
    if (test.test(r)) result.rows.push_back(r);
  }
  return result;
}
