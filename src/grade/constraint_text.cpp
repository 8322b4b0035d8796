// Writing and reading the constraint lines. Reading splits a line at its
// keyword, "->", "where" and "=", so a name holding those words or
// parentheses cannot be stated; such tables are rare in exercises.
#include "grade/constraint_text.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace grade {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string quoted(std::string_view t) {
  std::string q(t.size() + 2, '\'');
  t.copy(q.data() + 1, t.size());
  return q;
}

std::string cols(const table_info& t, const std::vector<std::size_t>& cs) {
  std::string out;
  for (std::size_t i = 0; i < cs.size(); ++i) {
    if (i > 0) out += ", ";
    out += t.columns[cs[i]].name;
  }
  return out;
}

std::string where(const table_info& t, const std::optional<row_filter>& f) {
  if (!f) return {};
  return " where " + t.columns[f->column].name + " = " + f->equals.text();
}

// The values of a list as a row line holds them: separated by blanks and
// commas, a blank or comma inside the quoted run of a value kept.
std::vector<std::string_view> split_values(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos < s.size()) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == ',')) ++pos;
    if (pos == s.size()) break;
    const std::size_t start = pos;
    bool quoted = false;
    while (pos < s.size() && s[pos] != ' ' && s[pos] != ',') {
      if (s[pos] == '\'' && !quoted) {
        quoted = true;
        const std::size_t close = s.find('\'', pos + 1);
        pos = close == std::string_view::npos ? s.size() : close + 1;
        continue;
      }
      ++pos;
    }
    out.push_back(s.substr(start, pos - start));
  }
  return out;
}

struct parsed_side {
  std::string_view table;
  std::vector<std::string_view> columns;
  std::string_view where_column, where_value;
  bool has_where = false;
};

// "T(c1, c2)" optionally followed by "where x = V".
bool parse_side(std::string_view s, parsed_side& out, std::string& why) {
  s = trim(s);
  const std::size_t open = s.find('(');
  const std::size_t close = s.find(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    why = "expected TABLE(COLUMN, ...) in '" + std::string(s) + "'";
    return false;
  }
  out.table = trim(s.substr(0, open));
  std::string_view inside = s.substr(open + 1, close - open - 1);
  while (true) {
    const std::size_t comma = inside.find(',');
    out.columns.push_back(trim(inside.substr(0, comma)));
    if (out.columns.back().empty()) {
      why = "an empty column name in '" + std::string(s) + "'";
      return false;
    }
    if (comma == std::string_view::npos) break;
    inside.remove_prefix(comma + 1);
  }
  std::string_view rest = trim(s.substr(close + 1));
  if (rest.empty()) return true;
  if (rest.substr(0, 6) != "where ") {
    why = "unexpected '" + std::string(rest) + "'; write where COLUMN = VALUE";
    return false;
  }
  rest = trim(rest.substr(6));
  const std::size_t eq = rest.find('=');
  if (eq == std::string_view::npos || trim(rest.substr(0, eq)).empty() || trim(rest.substr(eq + 1)).empty()) {
    why = "expected where COLUMN = VALUE, not 'where " + std::string(rest) + "'";
    return false;
  }
  out.has_where = true;
  out.where_column = trim(rest.substr(0, eq));
  out.where_value = trim(rest.substr(eq + 1));
  return true;
}

struct parsed {
  constraint_kind kind = constraint_kind::key;
  parsed_side side, target;
  std::vector<std::string_view> values;
  bool all = false;
};

bool parse_form(std::string_view text, parsed& p, std::string& why) {
  text = trim(text);
  if (text == "all") {
    p.all = true;
    return true;
  }
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  const std::string_view rest = blank == std::string_view::npos ? std::string_view() : trim(text.substr(blank));
  if (word == "key") {
    p.kind = constraint_kind::key;
    if (!parse_side(rest, p.side, why)) return false;
    if (p.side.has_where) {
      why = "a key takes no where";
      return false;
    }
    return true;
  }
  if (word == "reference") {
    p.kind = constraint_kind::reference;
    const std::size_t arrow = rest.find("->");
    if (arrow == std::string_view::npos) {
      why = "expected T(c) -> U(d)";
      return false;
    }
    if (!parse_side(rest.substr(0, arrow), p.side, why) || !parse_side(rest.substr(arrow + 2), p.target, why)) {
      return false;
    }
    if (p.side.columns.size() != 1 || p.target.columns.size() != 1) {
      why = "a reference joins one column to one column";
      return false;
    }
    return true;
  }
  if (word == "values") {
    p.kind = constraint_kind::values;
    const std::size_t close = rest.find(')');
    const std::size_t eq = close == std::string_view::npos ? close : rest.find('=', close);
    if (eq == std::string_view::npos) {
      why = "expected values T(c) = V1, V2, ...";
      return false;
    }
    if (!parse_side(rest.substr(0, eq), p.side, why)) return false;
    if (p.side.columns.size() != 1 || p.side.has_where) {
      why = "values takes one column and no where";
      return false;
    }
    p.values = split_values(rest.substr(eq + 1));
    if (p.values.empty()) {
      why = "values needs at least one value";
      return false;
    }
    return true;
  }
  if (word == "order") {
    p.kind = constraint_kind::order;
    if (rest.empty()) {
      why = "order needs a table name";
      return false;
    }
    p.side.table = rest;
    return true;
  }
  why = "a constraint starts with key, reference, values or order, not '" + std::string(word) + "'";
  return false;
}

bool value_of(std::string_view text, bool is_int, value& out, std::string& why) {
  if (!is_int) {
    out = value::of_text(std::string(text));
    return true;
  }
  std::int32_t n = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), n);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    why = quoted(text) + " is not an integer, and the column is an int column";
    return false;
  }
  out = value::of_int(n);
  return true;
}

bool resolve_side(const parsed_side& s, const schema& sch, std::size_t& table, std::vector<std::size_t>& columns,
                  std::optional<row_filter>& when, std::string& why) {
  const std::optional<std::size_t> t = sch.table(s.table);
  if (!t) {
    why = "there is no table '" + std::string(s.table) + "'";
    return false;
  }
  table = *t;
  const table_info& info = sch.tables[*t];
  for (const std::string_view c : s.columns) {
    const std::optional<std::size_t> col = info.column(c);
    if (!col) {
      why = "table '" + info.name + "' has no column '" + std::string(c) + "'";
      return false;
    }
    columns.push_back(*col);
  }
  if (s.has_where) {
    const std::optional<std::size_t> col = info.column(s.where_column);
    if (!col) {
      why = "table '" + info.name + "' has no column '" + std::string(s.where_column) + "'";
      return false;
    }
    row_filter f;
    f.column = *col;
    if (!value_of(s.where_value, info.columns[*col].is_int, f.equals, why)) return false;
    when = f;
  }
  return true;
}

}  // namespace

std::string describe(const schema& sch, const constraint& c) {
  const table_info& t = sch.tables[c.table];
  switch (c.kind) {
    case constraint_kind::key:
      return "key " + t.name + "(" + cols(t, c.columns) + ")";
    case constraint_kind::reference: {
      const table_info& u = sch.tables[c.target_table];
      return "reference " + t.name + "(" + cols(t, c.columns) + ")" + where(t, c.when) + " -> " + u.name + "(" +
             u.columns[c.target_column].name + ")" + where(u, c.target_when);
    }
    case constraint_kind::values: {
      std::string out = "values " + t.name + "(" + cols(t, c.columns) + ") =";
      for (std::size_t i = 0; i < c.allowed.size(); ++i) out += (i > 0 ? ", " : " ") + c.allowed[i].text();
      return out;
    }
    case constraint_kind::order:
      return "order " + t.name;
  }
  return {};
}

bool constraint_form(std::string_view text, std::string& why) {
  parsed p;
  return parse_form(text, p, why);
}

std::optional<constraint> parse_constraint(std::string_view text, const schema& sch, std::string& why) {
  parsed p;
  if (!parse_form(text, p, why)) return std::nullopt;
  if (p.all) {
    why = "'all' is no single constraint";
    return std::nullopt;
  }
  constraint c;
  c.kind = p.kind;
  if (p.kind == constraint_kind::order) {
    const std::optional<std::size_t> t = sch.table(p.side.table);
    if (!t) {
      why = "there is no table '" + std::string(p.side.table) + "'";
      return std::nullopt;
    }
    c.table = *t;
    return c;
  }
  if (!resolve_side(p.side, sch, c.table, c.columns, c.when, why)) return std::nullopt;
  if (p.kind == constraint_kind::key) {
    std::sort(c.columns.begin(), c.columns.end());
    c.columns.erase(std::unique(c.columns.begin(), c.columns.end()), c.columns.end());
  }
  if (p.kind == constraint_kind::reference) {
    std::vector<std::size_t> target;
    if (!resolve_side(p.target, sch, c.target_table, target, c.target_when, why)) return std::nullopt;
    c.target_column = target[0];
    if (sch.tables[c.table].columns[c.columns[0]].is_int != sch.tables[c.target_table].columns[c.target_column].is_int) {
      why = "a reference joins two columns of the same kind (int or text)";
      return std::nullopt;
    }
  }
  if (p.kind == constraint_kind::values) {
    const bool is_int = sch.tables[c.table].columns[c.columns[0]].is_int;
    for (const std::string_view v : p.values) {
      value x;
      if (!value_of(v, is_int, x, why)) return std::nullopt;
      c.allowed.push_back(std::move(x));
    }
    std::sort(c.allowed.begin(), c.allowed.end());
    c.allowed.erase(std::unique(c.allowed.begin(), c.allowed.end()), c.allowed.end());
  }
  return c;
}

}  // namespace grade
