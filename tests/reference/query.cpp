// The reference's reading of texts: the query interpreter with its argument
// splitters, the predicate parser and evaluator, selection, and the driver
// that loads, echoes and prints.
#include <sstream>

#include "reference.h"

namespace ref {

std::string inner_text(const std::string& t) {
  std::string out;
  long depth = 0;
  for (std::size_t i = t.find('('); i < t.size(); ++i) {
    const char c = t[i];
    if (c == ' ') continue;
    if (c == '(') {
      if (++depth >= 2) out += c;
    } else if (c == ')') {
      if (--depth >= 1) out += c;
    } else if (depth >= 1) {
      out += c;
    }
  }
  return out;
}

std::pair<std::string, std::string> param2(const std::string& a) {
  std::string first;
  std::string second;
  long depth = 0;
  bool on = false;
  for (const char c : a) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      on = true;
      continue;
    }
    (on ? second : first) += c;
  }
  return {first, second};
}

std::pair<std::string, std::vector<std::string>> paramproj(const std::string& a) {
  std::string expr;
  std::vector<std::string> names;
  std::string current;
  long depth = 0;
  bool on = false;
  for (const char c : a) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      if (on) {
        names.push_back(current);
        current.clear();
      }
      on = true;
      continue;
    }
    (on ? current : expr) += c;
  }
  names.push_back(current);
  return {expr, names};
}

std::pair<std::string, std::vector<std::string>> paramren(const std::string& a) {
  const auto [expr, rest] = param2(a);
  std::vector<std::string> names;
  std::string current;
  bool list = false;
  for (const char c : rest) {
    if (c == '(' || c == ')') {
      names.push_back(current);
      current.clear();
      list = true;
    } else if (c == ',' && list) {
      names.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  return {expr, names};
}

// ---- Predicates ---------------------------------------------------------------

struct operand {
  bool is_name = false;
  std::string name;
  value literal;
};

struct predicate {
  std::string op;
  predicate_ptr left;
  predicate_ptr right;
  operand first;
  operand second;
};

void predicate_deleter::operator()(predicate* p) const { delete p; }

namespace {

bool isint(const std::string& s) {
  return to_int(s) != 0 || s.find_first_not_of('0') == std::string::npos;
}

operand classify(const std::string& s) {
  if (!s.empty() && s[0] == '\'') return {false, {}, value::of_text(s)};
  if (isint(s)) return {false, {}, value::of_int(to_int(s))};
  return {true, s, {}};
}

const value& resolve(const operand& o, std::map<std::string, value>& binding) {
  if (!o.is_name) return o.literal;
  return binding.try_emplace(o.name, value::of_int(0)).first->second;
}

}  // namespace

predicate_ptr parse_predicate(const std::string& text) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos) throw failure("not a predicate");
  predicate_ptr p(new predicate);
  p->op = text.substr(0, open);
  const std::string o = inner_text(text);
  if (p->op == "NOT") {
    p->left = parse_predicate(o);
    return p;
  }
  const auto [a, b] = param2(o);
  if (p->op == "AND" || p->op == "OR") {
    p->left = parse_predicate(a);
    p->right = parse_predicate(b);
  } else {
    p->first = classify(a);
    p->second = classify(b);
  }
  return p;
}

bool verify(const predicate& p, std::map<std::string, value>& binding) {
  if (p.op == "NOT") return !verify(*p.left, binding);
  if (p.op == "AND") return verify(*p.left, binding) && verify(*p.right, binding);
  if (p.op == "OR") return verify(*p.left, binding) || verify(*p.right, binding);
  const std::string& op = p.op;
  if (op != "EQ" && op != "NEQ" && op != "LT" && op != "LTE" && op != "GT" && op != "GTE") {
    return true;
  }
  const value x = resolve(p.first, binding);
  const value y = resolve(p.second, binding);
  if (op == "EQ") return x == y;
  if (op == "NEQ") return !(x == y);
  if (op == "LT") return x < y;
  if (op == "LTE") return !(y < x);
  if (op == "GT") return y < x;
  return !(x < y);  // GTE
}

table op_select(const table& t, const std::string& condition) {
  const predicate_ptr p = parse_predicate(condition);
  table r;
  r.colnames = t.colnames;
  r.coltypes = t.coltypes;
  for (const row& x : t.rows) {
    std::map<std::string, value> binding;
    // The cells the row has, each under its column's name (a later column
    // of the same name wins); a name left unbound reads as 0.
    for (std::size_t i = 0; i < t.colnames.size() && i < x.size(); ++i) {
      binding[t.colnames[i]] = x[i];
    }
    if (verify(*p, binding)) r.rows.push_back(x);
  }
  return r;
}

// ---- Queries --------------------------------------------------------------------

table evaluate(const catalog& db, const std::string& text, bool extended) {
  if (const auto it = db.find(text); it != db.end()) return it->second;
  const std::size_t open = text.find('(');
  if (open == std::string::npos) throw failure("no table named that");
  const std::string op = text.substr(0, open);
  const std::string args = inner_text(text);
  if (extended && op == "join") {
    // join(E1,E2,P): the first comma splits E1 off, the rest splits as select's arguments do.
    long depth = 0;
    std::size_t comma = args.size();
    for (std::size_t i = 0; i < args.size() && comma == args.size(); ++i) {
      if (args[i] == '(') ++depth;
      if (args[i] == ')') --depth;
      if (args[i] == ',' && depth == 0) comma = i;
    }
    const auto [e2, condition] = param2(comma < args.size() ? args.substr(comma + 1) : std::string());
    const table a = evaluate(db, args.substr(0, comma), extended);
    const table b = evaluate(db, e2, extended);
    return op_select(op_product(a, b), condition);
  }
  if (extended && (op == "njoin" || op == "intersect" || op == "divide")) {
    const auto [e1, e2] = param2(args);
    const table a = evaluate(db, e1, extended);
    const table b = evaluate(db, e2, extended);
    if (op == "njoin") return op_njoin(a, b);
    if (op == "intersect") return op_intersect(a, b);
    return op_divide(a, b);
  }
  if (op == "union" || op == "minus" || op == "product") {
    const auto [e1, e2] = param2(args);
    const table a = evaluate(db, e1, extended);
    const table b = evaluate(db, e2, extended);
    if (op == "union") return op_union(a, b);
    if (op == "minus") return op_minus(a, b);
    return op_product(a, b);
  }
  if (op == "project") {
    const auto [e, names] = paramproj(args);
    return op_project(evaluate(db, e, extended), names);
  }
  if (op == "rename") {
    const auto [e, names] = paramren(args);
    return op_rename(evaluate(db, e, extended), names);
  }
  if (op == "select") {
    const auto [e, condition] = param2(args);
    return op_select(evaluate(db, e, extended), condition);
  }
  throw failure("unknown operation");
}

// ---- The driver ---------------------------------------------------------------------

outcome run(std::istream& in, bool extended) {
  std::string out;
  catalog db;
  std::string query;
  std::getline(in, query);
  out += query + "\n";
  std::string current;  // the table whose rows are read; empty between blocks
  while (!in.fail()) {
    std::string line;
    std::getline(in, line);  // the read that fails leaves it empty
    if (line.empty()) {
      current.clear();
    } else if (current.empty()) {
      table t = parse_header(line);
      current = t.name;
      db.insert_or_assign(t.name, std::move(t));
    } else {
      table& t = db[current];
      t.rows.push_back(parse_row(t, line));
    }
    out += line + "\n";
  }
  try {
    out += print(evaluate(db, query, extended));
    return {0, out};
  } catch (const failure&) {
    return {1, out};
  }
}

outcome run_text(std::string_view input, bool extended) {
  std::istringstream in{std::string(input)};
  return run(in, extended);
}

}  // namespace ref
