// The reference's values, header and row parsing, printing, row order and
// the operators that reshape tables (union, minus, product, project,
// rename), each written as the rules state it.
#include <algorithm>
#include <set>

#include "reference.h"

namespace ref {

bool operator==(const value& a, const value& b) { return a.ival == b.ival && a.sval == b.sval; }

bool operator<(const value& a, const value& b) {
  return a.is_int ? a.ival < b.ival : a.sval < b.sval;
}

int sort_compare(const value& a, const value& b) {
  // Integers and the empty string are numbers; other strings come after.
  const bool a_num = a.is_int || a.sval.empty();
  const bool b_num = b.is_int || b.sval.empty();
  if (a_num != b_num) return a_num ? -1 : 1;
  if (a_num) return a.ival < b.ival ? -1 : (a.ival > b.ival ? 1 : 0);
  return a.sval.compare(b.sval);  // char_traits<char> compares bytes unsigned
}

int32_t to_int(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (n <= 3000000000LL) n = n * 10 + (text[i] - '0');
  }
  if (negative) n = -n;
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(n);
}

table parse_header(const std::string& line) {
  table t;
  const std::size_t open = line.find('(');
  if (open == std::string::npos) {
    t.name = line;  // no column list at all
    return t;
  }
  t.name = line.substr(0, open);
  std::size_t pos = open;
  while (pos < line.size() && line[pos] != ')') {
    ++pos;  // past the "(" or ","
    std::string def;
    int depth = 0;
    while (pos < line.size()) {
      const char c = line[pos];
      if (c == ',' || (c == ')' && depth == 0)) break;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      def += c;
      ++pos;
    }
    std::size_t i = 0;
    while (i < def.size() && def[i] == ' ') ++i;
    std::string name;
    while (i < def.size() && def[i] != ' ') name += def[i++];
    while (i < def.size() && def[i] == ' ') ++i;
    std::string type;
    while (i < def.size() && def[i] != ' ') type += def[i++];
    t.colnames.push_back(name);
    t.coltypes.push_back(type);
  }
  return t;
}

row parse_row(const table& t, const std::string& line) {
  row r;
  std::size_t pos = 0;
  const std::size_t n = line.size();
  for (std::size_t j = 0; j < t.colnames.size(); ++j) {
    while (pos < n && (line[pos] == ' ' || line[pos] == ',')) ++pos;
    std::string v;
    int apostrophes = 0;
    while (pos < n) {
      const char c = line[pos];
      if ((c == ' ' || c == ',') && apostrophes != 1) break;
      if (c == '\'') ++apostrophes;
      v += c;
      ++pos;
    }
    if (pos < n) ++pos;  // the blank or comma that ended the value
    r.push_back(t.coltypes[j] == "int" ? value::of_int(to_int(v)) : value::of_text(v));
  }
  return r;
}

std::string print(const table& t) {
  std::string out = t.name + "(";
  for (std::size_t i = 0; i < t.colnames.size(); ++i) {
    if (i > 0) out += ", ";
    out += t.colnames[i] + " " + t.coltypes[i];
  }
  out += ")\n";
  for (const row& r : t.rows) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      if (i > 0) out += ",";
      out += r[i].is_int ? std::to_string(r[i].ival) : r[i].sval;
    }
    out += "\n";
  }
  return out;
}

int row_compare(const row& x, const row& y) {
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (const int c = sort_compare(x[i], y[i]); c != 0) return c;
  }
  return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

bool row_equal(const row& x, const row& y) {
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!(x[i] == y[i])) return false;
  }
  return true;
}

void sort_and_collapse(std::list<row>& rows) {
  rows.sort([](const row& x, const row& y) { return row_compare(x, y) < 0; });  // stable
  rows.unique(row_equal);  // keeps the first of each run
}

table op_union(const table& a, const table& b) {
  table r = a;
  r.rows.insert(r.rows.end(), b.rows.begin(), b.rows.end());
  sort_and_collapse(r.rows);
  return r;
}

table op_minus(const table& a, const table& b) {
  table r;
  r.colnames = a.colnames;
  r.coltypes = a.coltypes;
  std::list<row> x = a.rows;
  std::list<row> y = b.rows;
  sort_and_collapse(x);
  sort_and_collapse(y);
  auto i = x.begin();
  auto j = y.begin();
  while (i != x.end() && j != y.end()) {
    if (row_equal(*i, *j)) {
      ++i;
      ++j;
    } else if (row_compare(*i, *j) < 0) {
      r.rows.push_back(*i++);
    } else {
      ++j;
    }
  }
  r.rows.insert(r.rows.end(), i, x.end());
  return r;
}

namespace {

// The row cut or padded to width cells; a missing cell reads as 0.
row fitted(const row& r, std::size_t width) {
  row out(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(std::min(width, r.size())));
  out.resize(width, value::of_int(0));
  return out;
}

template <class T>
std::vector<T> placed(const std::vector<T>& v, const std::vector<std::size_t>& place) {
  std::vector<T> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[place[i]] = v[i];
  return out;
}

}  // namespace

table op_product(const table& a, const table& b) {
  std::vector<std::string> names = a.colnames;
  names.insert(names.end(), b.colnames.begin(), b.colnames.end());
  std::vector<std::string> types = a.coltypes;
  types.insert(types.end(), b.coltypes.begin(), b.coltypes.end());
  const std::set<std::string> distinct(names.begin(), names.end());
  if (distinct.size() != names.size()) throw failure("product: a column name repeats");
  std::vector<std::size_t> place;
  for (const std::string& n : names) {
    place.push_back(static_cast<std::size_t>(std::distance(distinct.begin(), distinct.find(n))));
  }
  table r;
  r.colnames = placed(names, place);
  r.coltypes = placed(types, place);
  for (const row& x : a.rows) {
    const row left = fitted(x, a.colnames.size());
    for (const row& y : b.rows) {
      row both = left;
      const row right = fitted(y, b.colnames.size());
      both.insert(both.end(), right.begin(), right.end());
      r.rows.push_back(placed(both, place));
    }
  }
  sort_and_collapse(r.rows);
  return r;
}

table op_project(const table& t, const std::vector<std::string>& cols) {
  if (t.colnames.empty()) throw failure("project: no columns");
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < t.colnames.size(); ++i) position[t.colnames[i]] = i;  // last wins
  std::vector<std::size_t> idx;
  for (const std::string& c : cols) {
    const auto it = position.find(c);
    idx.push_back(it == position.end() ? 0 : it->second);
  }
  table r;
  for (const std::size_t i : idx) {
    r.colnames.push_back(t.colnames[i]);
    r.coltypes.push_back(t.coltypes[i]);
  }
  for (const row& x : t.rows) {
    row cut;
    for (const std::size_t i : idx) cut.push_back(i < x.size() ? x[i] : value::of_int(0));
    r.rows.push_back(std::move(cut));
  }
  sort_and_collapse(r.rows);
  return r;
}

table op_rename(const table& t, const std::vector<std::string>& names) {
  if (names.size() < 1 + t.colnames.size()) throw failure("rename: too few names");
  table r = t;
  r.name = names[0];
  for (std::size_t i = 0; i < r.colnames.size(); ++i) r.colnames[i] = names[i + 1];
  return r;
}

}  // namespace ref
