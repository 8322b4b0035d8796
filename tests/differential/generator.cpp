// The random input generator: what values, tables and queries it draws.
#include "generator.h"

#include <algorithm>

namespace diff {

namespace {

using S = std::string;

const std::vector<S> kColumnNames = {"a", "b", "c", "d", "B", "x", "k"};
const std::vector<S> kTypes = {"int", "int", "text", "text", "INT", "char(3)", ""};
const std::vector<S> kSeparators = {", ", ",", " ", " ,, ", ",,", "  "};
const std::vector<S> kComparisons = {"EQ", "NEQ", "LT", "LTE", "GT", "GTE"};

}  // namespace

generator::generator(uint64_t seed, generator_options options)
    : rng_(seed), options_(options) {}

bool generator::chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

std::size_t generator::below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }

std::string generator::int_value() {
  static const std::vector<S> odd = {"+5",  "007",          "12ab",        "'x'",        "-0",
                                     "\t3", "99999999999",  "-99999999999", "2147483647",
                                     "-2147483648", "x",    "0"};
  if (chance(0.2)) return pick(odd);
  return std::to_string(static_cast<int>(below(7)) - 3);
}

std::string generator::text_value() {
  static const std::vector<S> values = {
      "'x'", "'y'", "'x y'", "'a,b'", "O'Brien", "abc", "B", "a", "10", "9", "0", "-1",
      S("'\0'", 3), S("p\0", 2), S("p\0q", 3), "p", "p\x01", "\x80", "\xff", "'\xe9t\xe9'",
      "'''", "'it''s'", "\r", "(x)", "a(b"};
  return pick(values);
}

std::string generator::table_block(schema& s) {
  // A header without "(" defines a table without columns.
  std::string out = s.name;
  if (!s.cols.empty()) out += "(";
  for (std::size_t i = 0; i < s.cols.size(); ++i) {
    if (i > 0) out += chance(0.2) ? "," : ", ";
    if (chance(0.1)) out += " ";
    out += s.cols[i].name;
    if (!s.cols[i].type.empty() || chance(0.5)) out.append(" ").append(s.cols[i].type);
  }
  if (!s.cols.empty()) out += ")";
  if (!s.cols.empty() && chance(options_.noise / 2)) out += " trailing";
  out += "\n";
  std::vector<S> rows;
  const std::size_t n = below(options_.max_rows + 1);
  for (std::size_t r = 0; r < n; ++r) {
    if (!rows.empty() && chance(0.3)) {
      rows.push_back(pick(rows));  // a repeated row
      continue;
    }
    std::string line;
    if (chance(0.1)) line += pick(kSeparators);
    std::size_t width = s.cols.size();
    if (chance(0.1)) width = below(width);  // missing values
    if (chance(0.05)) width += 1;           // a surplus value
    for (std::size_t i = 0; i < width; ++i) {
      if (i > 0) line += pick(kSeparators);
      const bool is_int = i < s.cols.size() && s.cols[i].type == "int";
      line += is_int && !chance(0.05) ? int_value() : text_value();
    }
    if (chance(0.05)) line += ",";
    if (chance(0.03)) line += "\r";
    if (line.empty()) line.push_back(' ');  // an empty line would end the block
    rows.push_back(line);
  }
  for (const S& r : rows) out.append(r).append("\n");
  s.rows = rows.size();
  return out;
}

std::string generator::fresh_name() {
  std::string name = "q";
  name += std::to_string(fresh_++);
  return name;
}

std::string generator::comparison_operand(const std::vector<std::string>& cols) {
  static const std::vector<S> literals = {"1",   "-1",  "0",    "007",   "+2",         "12ab", "",
                                          "'x'", "'y'", "'x y'", "'a,b'", "'x)y'", "'x(y'",
                                          "'abc'", "'",  "-0",   "abc",   "99999999999",
                                          "'p", S("'\0'", 3), "'\xe9t\xe9'", "+0", "00",
                                          "0x10", "-", "2147483648", "\t4"};
  if (!cols.empty() && chance(0.55)) return pick(cols);
  if (chance(0.05)) return "zz";  // no such column: the integer 0
  return pick(literals);
}

std::string generator::predicate(const std::vector<std::string>& cols, int depth) {
  const std::size_t kind = depth <= 0 ? 0 : below(6);
  if (chance(options_.noise / 10)) {
    // Refused: an operand that is no predicate.
    static const std::vector<S> bad = {"x", "", "EQ", "AND(EQ(a,1))", "NOT(x)"};
    return pick(bad);
  }
  switch (kind) {
    case 1:
      return "NOT(" + predicate(cols, depth - 1) + ")";
    case 2:
    case 3: {
      // Drawn one after the other, so a seed gives one input on any compiler.
      const std::string p = predicate(cols, depth - 1);
      const std::string q = predicate(cols, depth - 1);
      std::string out = (kind == 2 ? "AND(" : "OR(") + p + "," + q;
      if (chance(options_.noise)) out.append(",").append(predicate(cols, depth - 1));  // lost
      return out + ")";
    }
    default: {
      std::string op = pick(kComparisons);
      if (chance(options_.noise / 3)) {
        static const std::vector<S> odd = {"eq", "FOO", "", "Lt"};
        op = pick(odd);
      }
      const std::string x = comparison_operand(cols);
      const std::string y = comparison_operand(cols);
      std::string out = op + "(" + x + "," + y;
      if (chance(options_.noise / 2)) out.append(",").append(comparison_operand(cols));
      out += ")";
      if (chance(options_.noise / 3)) out += "(x)";
      return out;
    }
  }
}

generator::expr generator::expression(int depth) {
  if (depth <= 0 || chance(0.25)) {
    if (chance(0.02)) return {"nosuch", {}, 0};
    const schema& s = pick(tables_);
    expr e{s.name, {}, s.rows};
    for (const column& c : s.cols) e.cols.push_back(c.name);
    return e;
  }
  if (options_.extended && chance(0.4)) return extended_expression(depth);
  switch (below(7)) {
    case 0:
    case 1: {
      const expr a = expression(depth - 1);
      expr b = expression(depth - 1);
      // A third operand runs into the second: union(R,S,T) unites R and ST.
      if (chance(options_.noise / 4)) b.text += "," + pick(tables_).name;
      if (below(2) == 0) return {"union(" + a.text + "," + b.text + ")", a.cols, a.rows + b.rows};
      return {"minus(" + a.text + "," + b.text + ")", a.cols, a.rows};
    }
    case 2: {
      // Usually the right operand renamed apart, so the product is legal.
      const expr a = expression(depth - 1);
      expr b = expression(depth - 1);
      const std::size_t rows = a.rows * b.rows;
      if (rows > options_.max_product) {
        return {"union(" + a.text + "," + b.text + ")", a.cols, a.rows + b.rows};
      }
      std::string right = b.text;
      if (!chance(options_.noise)) {
        std::vector<S> names;
        for (std::size_t i = 0; i < b.cols.size(); ++i) names.push_back(fresh_name());
        right = "rename(" + b.text + ",N(";
        for (std::size_t i = 0; i < names.size(); ++i) right += (i > 0 ? "," : "") + names[i];
        right += "))";
        b.cols = names;
      }
      std::vector<S> cols = a.cols;
      cols.insert(cols.end(), b.cols.begin(), b.cols.end());
      std::sort(cols.begin(), cols.end());
      if (chance(0.5)) return {"product(" + a.text + "," + right + ")", cols, rows};
      return {"product(" + right + "," + a.text + ")", cols, rows};
    }
    case 3: {
      const expr a = expression(depth - 1);
      std::vector<S> names;
      const std::size_t n = 1 + below(3);
      for (std::size_t i = 0; i < n; ++i) {
        if (!a.cols.empty() && !chance(options_.noise)) {
          names.push_back(pick(a.cols));
        } else {
          names.push_back(chance(0.5) ? "zz" : "");
        }
      }
      std::string text = "project(" + a.text;
      for (const S& n2 : names) text += "," + n2;
      std::vector<S> cols;
      for (const S& n2 : names) {
        const bool known = std::find(a.cols.begin(), a.cols.end(), n2) != a.cols.end();
        cols.push_back(known || a.cols.empty() ? n2 : a.cols[0]);
      }
      return {text + ")", cols, a.rows};
    }
    case 4: {
      const expr a = expression(depth - 1);
      std::size_t n = a.cols.size();
      if (chance(options_.noise)) n = chance(0.5) ? n + 1 : (n > 0 ? n - 1 : 0);
      std::vector<S> names;
      for (std::size_t i = 0; i < n; ++i) names.push_back(fresh_name());
      std::string list;
      for (std::size_t i = 0; i < n; ++i) list += (i > 0 ? "," : "") + names[i];
      const std::string target = chance(options_.noise) ? "N,(" + list + ")" : "N(" + list + ")";
      names.resize(std::min(names.size(), a.cols.size()));
      return {"rename(" + a.text + "," + target + ")", names, a.rows};
    }
    default: {
      const expr a = expression(depth - 1);
      return {"select(" + a.text + "," + predicate(a.cols, 3) + ")", a.cols, a.rows};
    }
  }
}

generator::expr generator::renamed_apart(const expr& e) {
  expr out = e;
  out.cols.clear();
  out.text = "rename(" + e.text + ",N(";
  for (std::size_t i = 0; i < e.cols.size(); ++i) {
    out.cols.push_back(fresh_name());
    out.text += (i > 0 ? "," : "") + out.cols.back();
  }
  out.text += "))";
  return out;
}

generator::expr generator::extended_expression(int depth) {
  const expr a = expression(depth - 1);
  switch (below(4)) {
    case 0: {
      // join: usually of operands renamed apart, with a condition over both.
      expr b = expression(depth - 1);
      if (a.rows * b.rows > options_.max_product) return a;
      if (!chance(options_.noise)) b = renamed_apart(b);
      std::vector<S> cols = a.cols;
      cols.insert(cols.end(), b.cols.begin(), b.cols.end());
      std::sort(cols.begin(), cols.end());
      std::string text = "join(" + a.text + "," + b.text + "," + predicate(cols, 2);
      if (chance(options_.noise / 2)) text.append(",").append(predicate(cols, 1));  // runs into the condition
      text += ")";
      return {text, cols, a.rows * b.rows};
    }
    case 1: {
      // njoin: operands of the same tables share their column names.
      const expr b = expression(depth - 1);
      if (a.rows * b.rows > options_.max_product) return a;
      std::vector<S> cols = a.cols;
      cols.insert(cols.end(), b.cols.begin(), b.cols.end());
      std::sort(cols.begin(), cols.end());
      cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
      return {"njoin(" + a.text + "," + b.text + ")", cols, a.rows * b.rows};
    }
    case 2: {
      expr b = chance(0.5) ? expression(depth - 1)
                           : expr{"select(" + a.text + "," + predicate(a.cols, 1) + ")", a.cols, a.rows};
      return {"intersect(" + a.text + "," + b.text + ")", a.cols, a.rows};
    }
    default: {
      // divide: by some of the dividend's columns, taken from a selection of
      // it or renamed onto another expression's; now and then by anything.
      std::vector<S> by;
      for (const S& c : a.cols) {
        if (chance(0.5)) by.push_back(c);
      }
      expr b;
      if (chance(options_.noise)) {
        b = expression(depth - 1);
      } else if (chance(0.5) || by.empty()) {
        b.text = "project(select(" + a.text + "," + predicate(a.cols, 1) + ")";
        for (const S& c : by) b.text += "," + c;
        if (by.empty()) b.text += ",";  // one empty name: the first column
        b.text += ")";
        b.rows = a.rows;
      } else {
        const expr e = expression(depth - 1);
        if (e.cols.empty()) return a;
        b.text = "rename(project(" + e.text;
        for (std::size_t k = 0; k < by.size(); ++k) b.text += "," + e.cols[k % e.cols.size()];
        b.text += "),N(";
        for (std::size_t k = 0; k < by.size(); ++k) b.text += (k > 0 ? "," : "") + by[k];
        b.text += "))";
        b.rows = e.rows;
      }
      if (a.rows * b.rows > options_.max_product) return a;
      std::vector<S> rest;
      for (const S& c : a.cols) {
        if (std::find(by.begin(), by.end(), c) == by.end()) rest.push_back(c);
      }
      return {"divide(" + a.text + "," + b.text + ")", rest, a.rows};
    }
  }
}

std::string generator::noisy(std::string query) {
  const double p = options_.noise;
  const std::size_t open = query.find('(');
  if (open != std::string::npos) {
    // Blanks anywhere inside the outermost parentheses are removed.
    const std::size_t blanks = chance(p * 2) ? 1 + below(6) : 0;
    for (std::size_t i = 0; i < blanks; ++i) {
      query.insert(open + 1 + below(query.size() - open), 1, ' ');
    }
    if (chance(p / 2)) query += ")";
    if (chance(p / 2)) query.append("(").append(pick(tables_).name).append(")");
    if (chance(p / 2)) query += "xyz";
    if (chance(p / 3) && query.back() == ')') query.pop_back();
    if (chance(p / 4)) query[0] = static_cast<char>(query[0] - 'a' + 'A');  // Union(...)
    if (chance(p / 4)) query.insert(open, 1, ' ');
    if (chance(p / 4)) query += "\r";
  }
  return query;
}

std::string generator::input() {
  tables_.clear();
  fresh_ = 0;
  std::vector<S> names = {"R", "S", "T", "U", "union"};
  if (options_.extended) names = {"R", "S", "T", "join", "divide"};
  std::shuffle(names.begin(), names.end(), rng_);
  const std::size_t count = 1 + below(4);
  // The blocks are drawn first: the query needs their row counts.
  std::vector<std::string> blocks;
  for (std::size_t t = 0; t < count; ++t) {
    schema s;
    s.name = names[t];
    std::vector<S> pool = kColumnNames;
    std::shuffle(pool.begin(), pool.end(), rng_);
    const std::size_t width = chance(0.04) ? 0 : 1 + below(3);
    for (std::size_t i = 0; i < width; ++i) {
      // Now and then a name repeats within a table, or is empty.
      S name = chance(0.05) && i > 0 ? s.cols[0].name : pool[i];
      if (chance(0.02)) name.clear();
      s.cols.push_back({name, name.empty() ? S() : pick(kTypes)});
    }
    blocks.push_back(table_block(s));
    tables_.push_back(s);
  }
  std::string query = chance(0.1) ? pick(tables_).name : expression(options_.max_depth).text;
  query = noisy(query);
  std::string out = query + "\n";
  if (chance(0.1)) out += "\n";
  for (std::size_t t = 0; t < tables_.size(); ++t) {
    if (t > 0) out += chance(0.2) ? "\n\n" : "\n";
    out += blocks[t];
  }
  // The last line need not end with a line feed.
  if (chance(0.2) && !out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace diff
