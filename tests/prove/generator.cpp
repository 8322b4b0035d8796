// The pair generator: a random query and a rewrite or change of it.
#include "generator.h"

#include <algorithm>

#include "builder.h"

namespace proofgen {

const char* const schema_text =
    "R(a int, b int)\n"
    "\n"
    "S(c int, d text)\n"
    "\n"
    "T(e text, f int)\n";

cond builder::comparison(const header& h) {
  cond c;
  static const char* const ops[] = {"EQ", "NEQ", "LT", "LTE", "GT", "GTE"};
  c.op = ops[pick(6)];
  const int i = pick(static_cast<int>(h.cols.size()));
  c.x = h.cols[static_cast<std::size_t>(i)];
  const bool is_int = h.ints[static_cast<std::size_t>(i)];
  const int r = pick(100);
  if (r < 55) {
    c.y = is_int ? int_constant() : text_constant();
  } else if (r < 85) {
    std::vector<std::string> same;
    for (std::size_t k = 0; k < h.cols.size(); ++k) {
      if (h.ints[k] == is_int && h.cols[k] != c.x) same.push_back(h.cols[k]);
    }
    c.y = same.empty() ? (is_int ? int_constant() : text_constant()) : same[static_cast<std::size_t>(pick(static_cast<int>(same.size())))];
  } else if (r < 95) {
    c.y = is_int ? (chance(50) ? text_constant() : h.cols[static_cast<std::size_t>(pick(static_cast<int>(h.cols.size())))]) : "0";
  } else {
    c.y = "zz";  // no such column: the integer 0
  }
  if (chance(30)) std::swap(c.x, c.y);
  if (chance(3)) c.k = cond::unknown;
  return c;
}

cond builder::condition(const header& h, int size) {
  if (size <= 1) return chance(10) ? cond{cond::neg, "", "", "", {comparison(h)}} : comparison(h);
  const int left = 1 + pick(size - 1);
  cond c{chance(60) ? cond::all : cond::any, "", "", "", {condition(h, left), condition(h, size - left)}};
  if (chance(10)) c = cond{cond::neg, "", "", "", {c}};
  return c;
}

expr builder::leaf() {
  expr t;
  t.name = std::string(1, "RST"[pick(3)]);
  if (!chance(25)) return t;
  expr r;
  r.k = expr::rename;
  r.kids = {t};
  r.name = fresh_name();
  for (const std::string& c : base(t.name).cols) r.cols.push_back(c + r.name.substr(1));
  return r;
}

expr builder::product(expr x, expr y) {
  const header hx = head(x), hy = head(y);
  bool clash = false;
  for (const std::string& c : hy.cols) clash = clash || std::find(hx.cols.begin(), hx.cols.end(), c) != hx.cols.end();
  if (clash) {
    expr r;
    r.k = expr::rename;
    r.name = fresh_name();
    for (const std::string& c : hy.cols) r.cols.push_back(c + r.name.substr(1));
    r.kids = {y};
    y = r;
  }
  expr p;
  p.k = expr::product;
  p.kids = {x, y};
  return p;
}

expr builder::query(int depth, int& tables) {
  const int r = pick(100);
  if (depth == 0 || tables >= 3 || r < 20) {
    ++tables;
    return leaf();
  }
  expr e;
  if (r < 45) {
    e.k = expr::select;
    e.kids = {query(depth - 1, tables)};
    e.c = condition(head(e.kids[0]), 1 + pick(3));
  } else if (r < 65) {
    e.k = expr::project;
    e.kids = {query(depth - 1, tables)};
    const header h = head(e.kids[0]);
    std::vector<std::string> cols = h.cols;
    std::shuffle(cols.begin(), cols.end(), rng_);
    cols.resize(1 + static_cast<std::size_t>(pick(static_cast<int>(cols.size()))));
    if (chance(5)) cols.push_back(chance(50) ? cols[0] : "zz");
    e.cols = cols;
  } else if (r < 80) {
    expr x = query(depth - 1, tables);
    return product(x, query(depth - 1, tables));
  } else {
    // Two operands with the same columns: selections of one query.
    e.k = chance(55) ? expr::union_ : expr::minus;
    const expr x = query(depth - 1, tables);
    const header h = head(x);
    expr a, b;
    a.k = b.k = expr::select;
    a.kids = b.kids = {x};
    a.c = condition(h, 1 + pick(2));
    b.c = condition(h, 1 + pick(2));
    e.kids = {chance(30) ? x : a, b};
  }
  return e;
}

query_pair generator::next() {
  builder b(rng_);
  for (;;) {
    int tables = 0;
    expr q = b.query(1 + b.pick(3), tables);
    if (!head(q).ok) continue;
    expr r = q;
    query_pair p;
    p.equivalent = b.chance(55);
    const bool done = p.equivalent ? b.rewrite(r, p.how) : b.change(r, p.how);
    if (!done) continue;
    if (p.equivalent && b.chance(40)) b.rewrite(r, p.how);
    p.first = q.text();
    p.second = r.text();
    if (b.chance(50)) std::swap(p.first, p.second);
    return p;
  }
}

std::string generator::database(const std::string& query) {
  std::string text = query + "\n";
  const auto pick = [&](int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); };
  const auto num = [&] { return std::to_string(pick(7) - 1); };
  const auto str = [&] { return std::string("'") + "xyzw"[pick(4)] + "'"; };
  for (const char t : std::string("RST")) {
    text += t == 'R' ? "\nR(a int, b int)\n" : t == 'S' ? "\nS(c int, d text)\n" : "\nT(e text, f int)\n";
    const int rows = pick(4);
    for (int k = 0; k < rows; ++k) {
      const bool empty = pick(6) == 0;
      if (t == 'R') text += num() + ", " + num() + "\n";
      if (t == 'S') text += num() + (empty ? std::string() : ", " + str()) + "\n";
      if (t == 'T') text += empty ? std::string(",\n") : str() + ", " + num() + "\n";
    }
  }
  return text;
}

}  // namespace proofgen
