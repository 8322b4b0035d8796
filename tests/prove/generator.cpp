// The pair generator: queries as small trees, their headers worked out as
// the language defines them, rewrites and changes applied at a random
// node where they fit.
#include "generator.h"

#include <algorithm>
#include <functional>

namespace proofgen {

const char* const schema_text =
    "R(a int, b int)\n"
    "\n"
    "S(c int, d text)\n"
    "\n"
    "T(e text, f int)\n";

namespace {

struct cond {
  enum kind { cmp, all, any, neg, unknown } k = cmp;
  std::string op, x, y;
  std::vector<cond> kids;

  std::string text() const {
    switch (k) {
      case cmp: return op + "(" + x + "," + y + ")";
      case unknown: return "eq(" + x + "," + y + ")";
      case neg: return "NOT(" + kids[0].text() + ")";
      default: return std::string(k == all ? "AND(" : "OR(") + kids[0].text() + "," + kids[1].text() + ")";
    }
  }
};

struct expr {
  enum kind { table, rename, select, project, product, union_, minus } k = table;
  std::string name;
  std::vector<std::string> cols;
  cond c;
  std::vector<expr> kids;

  std::string text() const {
    const auto list = [](const std::vector<std::string>& v) {
      std::string s;
      for (std::size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + v[i];
      return s;
    };
    switch (k) {
      case table: return name;
      case rename: return "rename(" + kids[0].text() + "," + name + "(" + list(cols) + "))";
      case select: return "select(" + kids[0].text() + "," + c.text() + ")";
      case project: return "project(" + kids[0].text() + "," + list(cols) + ")";
      default:
        return std::string(k == product ? "product(" : k == union_ ? "union(" : "minus(") + kids[0].text() + "," +
               kids[1].text() + ")";
    }
  }
};

struct header {
  bool ok = true;
  std::string name;
  std::vector<std::string> cols;
  std::vector<bool> ints;
  bool ordered = false;
};

header base(const std::string& t) {
  if (t == "R") return {true, "R", {"a", "b"}, {true, true}, true};
  if (t == "S") return {true, "S", {"c", "d"}, {true, false}, true};
  return {true, "T", {"e", "f"}, {false, true}, true};
}

header head(const expr& e) {
  header h;
  switch (e.k) {
    case expr::table: return base(e.name);
    case expr::rename:
      h = head(e.kids[0]);
      h.name = e.name;
      h.cols = e.cols;
      return h;
    case expr::select:
      h = head(e.kids[0]);
      h.name.clear();
      return h;
    case expr::project: {
      const header l = head(e.kids[0]);
      h.ok = l.ok;
      for (const std::string& c : e.cols) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < l.cols.size(); ++i) {
          if (l.cols[i] == c) at = i;
        }
        h.cols.push_back(l.cols.empty() ? c : l.cols[at]);
        h.ints.push_back(l.cols.empty() || l.ints[at]);
      }
      return h;
    }
    case expr::product: {
      const header l = head(e.kids[0]), r = head(e.kids[1]);
      std::vector<std::pair<std::string, bool>> all;
      for (std::size_t i = 0; i < l.cols.size(); ++i) all.emplace_back(l.cols[i], l.ints[i]);
      for (std::size_t i = 0; i < r.cols.size(); ++i) all.emplace_back(r.cols[i], r.ints[i]);
      std::sort(all.begin(), all.end());
      h.ok = l.ok && r.ok;
      for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0 && all[i].first == all[i - 1].first) h.ok = false;
        h.cols.push_back(all[i].first);
        h.ints.push_back(all[i].second);
      }
      return h;
    }
    default:
      h = head(e.kids[0]);
      h.ok = h.ok && head(e.kids[1]).ok;
      h.ordered = false;
      if (e.k == expr::minus) h.name.clear();
      return h;
  }
}

// The column names a condition reads.
void names_in(const cond& c, std::vector<std::string>& out) {
  if (c.k == cond::cmp || c.k == cond::unknown) {
    for (const std::string* s : {&c.x, &c.y}) {
      if (!s->empty() && std::isalpha(static_cast<unsigned char>((*s)[0]))) out.push_back(*s);
    }
  }
  for (const cond& k : c.kids) names_in(k, out);
}

class builder {
 public:
  explicit builder(std::mt19937_64& rng) : rng_(rng) {}

  int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return pick(100) < percent; }

  std::string int_constant() { return std::to_string(pick(6) - 1); }
  std::string text_constant() { return std::string("'") + "xyz"[pick(3)] + "'"; }

  cond comparison(const header& h) {
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

  cond condition(const header& h, int size) {
    if (size <= 1) return chance(10) ? cond{cond::neg, "", "", "", {comparison(h)}} : comparison(h);
    const int left = 1 + pick(size - 1);
    cond c{chance(60) ? cond::all : cond::any, "", "", "", {condition(h, left), condition(h, size - left)}};
    if (chance(10)) c = cond{cond::neg, "", "", "", {c}};
    return c;
  }

  expr leaf() {
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

  std::string fresh_name() { return "Q" + std::to_string(++fresh_); }

  // A product of x and y, renaming y's columns when the names meet.
  expr product(expr x, expr y) {
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

  expr query(int depth, int& tables) {
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

  // All nodes of a tree, by address.
  void nodes(expr& e, std::vector<expr*>& out) {
    out.push_back(&e);
    for (expr& k : e.kids) nodes(k, out);
  }
  void conds(cond& c, std::vector<cond*>& out) {
    out.push_back(&c);
    for (cond& k : c.kids) conds(k, out);
  }

  bool rewrite(expr& root, std::string& how);
  bool change(expr& root, std::string& how);

 private:
  std::mt19937_64& rng_;
  int fresh_ = 0;
};

bool subset(const std::vector<std::string>& names, const std::vector<std::string>& of) {
  return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
    return n == "zz" || std::find(of.begin(), of.end(), n) != of.end();
  });
}

bool is_int_text(const std::string& s) { return !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-'); }

bool builder::rewrite(expr& root, std::string& how) {
  std::vector<expr*> all;
  nodes(root, all);
  std::shuffle(all.begin(), all.end(), rng_);
  const int first = pick(15);
  for (int t = 0; t < 15; ++t) {
    const int rule = (first + t) % 15;
    for (expr* e : all) {
      expr& n = *e;
      const header h = head(n);
      switch (rule) {
        case 0:  // select(E, AND(P,Q)) -> select(select(E,P),Q)
          if (n.k == expr::select && n.c.k == cond::all) {
            expr inner = n;
            inner.c = n.c.kids[0];
            n.c = cond(n.c.kids[1]);
            n.kids = {inner};
            how = "selection split";
            return true;
          }
          break;
        case 1:  // select(select(E,P),Q) -> select(E, AND(P,Q))
          if (n.k == expr::select && n.kids[0].k == expr::select) {
            const cond q = n.c;
            n.c = cond{cond::all, "", "", "", {n.kids[0].c, q}};
            n.kids = {expr(n.kids[0].kids[0])};
            how = "selections merged";
            return true;
          }
          break;
        case 2:  // AND and OR operands swapped; double negation
          if (n.k == expr::select) {
            std::vector<cond*> cs;
            conds(n.c, cs);
            cond& c = *cs[static_cast<std::size_t>(pick(static_cast<int>(cs.size())))];
            if (c.k == cond::all || c.k == cond::any) {
              std::swap(c.kids[0], c.kids[1]);
              how = "condition operands swapped";
            } else {
              c = cond{cond::neg, "", "", "", {cond{cond::neg, "", "", "", {c}}}};
              how = "double negation";
            }
            return true;
          }
          break;
        case 3:  // product commuted
          if (n.k == expr::product) {
            std::swap(n.kids[0], n.kids[1]);
            how = "product commuted";
            return true;
          }
          break;
        case 4:  // product regrouped
          if (n.k == expr::product && n.kids[0].k == expr::product) {
            expr x = n.kids[0].kids[0], y = n.kids[0].kids[1], z = n.kids[1];
            expr yz;
            yz.k = expr::product;
            yz.kids = {y, z};
            n.kids = {x, yz};
            how = "product regrouped";
            return true;
          }
          break;
        case 5:  // selection pushed into a product's operand
          if (n.k == expr::select && n.kids[0].k == expr::product) {
            std::vector<std::string> used;
            names_in(n.c, used);
            for (int side = 0; side < 2; ++side) {
              if (!subset(used, head(n.kids[0].kids[static_cast<std::size_t>(side)]).cols)) continue;
              expr s;
              s.k = expr::select;
              s.c = n.c;
              s.kids = {n.kids[0].kids[static_cast<std::size_t>(side)]};
              expr p = n.kids[0];
              p.kids[static_cast<std::size_t>(side)] = s;
              n = p;
              how = "selection pushed into a product";
              return true;
            }
          }
          break;
        case 6:  // projections merged
          if (n.k == expr::project && n.kids[0].k == expr::project) {
            const header inner = head(n.kids[0].kids[0]);
            const std::vector<std::string>& c1 = n.kids[0].cols;
            std::vector<std::string> sorted = c1;
            std::sort(sorted.begin(), sorted.end());
            const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
            if (distinct && subset(c1, inner.cols) && std::find(c1.begin(), c1.end(), "zz") == c1.end() &&
                std::all_of(n.cols.begin(), n.cols.end(), [&](const std::string& c) {
                  return std::find(c1.begin(), c1.end(), c) != c1.end();
                })) {
              n.kids = {expr(n.kids[0].kids[0])};
              how = "projections merged";
              return true;
            }
          }
          break;
        case 7:  // union commuted, when both operands have one header
          if (n.k == expr::union_) {
            const header a = head(n.kids[0]), b = head(n.kids[1]);
            if (a.name == b.name && a.cols == b.cols && a.ints == b.ints) {
              std::swap(n.kids[0], n.kids[1]);
              how = "union commuted";
              return true;
            }
          }
          break;
        case 8:  // union regrouped
          if (n.k == expr::union_ && n.kids[0].k == expr::union_) {
            expr x = n.kids[0].kids[0], y = n.kids[0].kids[1], z = n.kids[1];
            expr yz;
            yz.k = expr::union_;
            yz.kids = {y, z};
            n.kids = {x, yz};
            how = "union regrouped";
            return true;
          }
          break;
        case 9:  // selection through a union or a minus
          if (n.k == expr::select && (n.kids[0].k == expr::union_ || n.kids[0].k == expr::minus)) {
            const expr u = n.kids[0];
            if (u.k == expr::union_ && head(u.kids[0]).cols != head(u.kids[1]).cols) break;
            expr a, b;
            a.k = b.k = expr::select;
            a.c = b.c = n.c;
            a.kids = {u.kids[0]};
            b.kids = {u.kids[1]};
            const bool same_columns = head(u.kids[0]).cols == head(u.kids[1]).cols;
            n = u;
            n.kids = {a, u.k == expr::minus && (!same_columns || chance(50)) ? u.kids[1] : b};
            how = "selection through " + std::string(u.k == expr::union_ ? "a union" : "a minus");
            return true;
          }
          break;
        case 10:  // OR over sorted rows as a union
          if (n.k == expr::select && n.c.k == cond::any && !head(n.kids[0]).ordered) {
            expr a, b;
            a.k = b.k = expr::select;
            a.kids = b.kids = n.kids;
            a.c = n.c.kids[0];
            b.c = n.c.kids[1];
            n.k = expr::union_;
            n.kids = {a, b};
            how = "OR as a union";
            return true;
          }
          break;
        case 11: {  // comparisons rewritten
          if (n.k != expr::select) break;
          std::vector<cond*> cs;
          conds(n.c, cs);
          std::shuffle(cs.begin(), cs.end(), rng_);
          for (cond* c : cs) {
            if (c->k != cond::cmp) continue;
            if (c->op == "GT" && is_int_text(c->y) && c->y != "2147483647" && h.ok) {
              const header in = head(n.kids[0]);
              const auto it = std::find(in.cols.begin(), in.cols.end(), c->x);
              if (it != in.cols.end() && in.ints[static_cast<std::size_t>(it - in.cols.begin())]) {
                c->op = "GTE";
                c->y = std::to_string(std::stoll(c->y) + 1);
                how = "GT as GTE of the next integer";
                return true;
              }
            }
            static const std::pair<const char*, const char*> mirror[] = {
                {"LT", "GT"}, {"GT", "LT"}, {"LTE", "GTE"}, {"GTE", "LTE"}, {"EQ", "EQ"}, {"NEQ", "NEQ"}};
            for (const auto& [from, to] : mirror) {
              if (c->op == from) {
                c->op = to;
                std::swap(c->x, c->y);
                how = "comparison mirrored";
                return true;
              }
            }
          }
          break;
        }
        case 12:  // a comparison negated twice over: NOT of its opposite
          if (n.k == expr::select) {
            std::vector<cond*> cs;
            conds(n.c, cs);
            for (cond* c : cs) {
              static const std::pair<const char*, const char*> opposite[] = {
                  {"LT", "GTE"}, {"GTE", "LT"}, {"GT", "LTE"}, {"LTE", "GT"}, {"EQ", "NEQ"}, {"NEQ", "EQ"}};
              if (c->k != cond::cmp) continue;
              for (const auto& [from, to] : opposite) {
                if (c->op == from) {
                  cond inner = *c;
                  inner.op = to;
                  *c = cond{cond::neg, "", "", "", {inner}};
                  how = "NOT of the opposite comparison";
                  return true;
                }
              }
            }
          }
          break;
        case 13:  // a redundant self-join under a product or a projection
          for (std::size_t k = 0; k < n.kids.size(); ++k) {
            expr& t = n.kids[k];
            const bool sets = n.k == expr::product || n.k == expr::project || (k == 1 && n.k != expr::select && n.k != expr::rename);
            if (!sets || t.k != expr::table) continue;
            const header th = base(t.name);
            expr r;
            r.k = expr::rename;
            r.name = fresh_name();
            for (const std::string& c : th.cols) r.cols.push_back(c + r.name.substr(1));
            r.kids = {t};
            expr s;
            s.k = expr::select;
            s.kids = {product(t, r)};
            s.c = cond{cond::all, "", "", "",
                       {cond{cond::cmp, "EQ", th.cols[0], r.cols[0], {}}, cond{cond::cmp, "EQ", r.cols[1], th.cols[1], {}}}};
            expr p;
            p.k = expr::project;
            p.cols = th.cols;
            p.kids = {s};
            t = p;
            how = "redundant self-join";
            return true;
          }
          break;
        case 14:  // the right operand of a minus grown by a part of itself
          if (n.k == expr::minus) {
            expr part;
            part.k = expr::select;
            part.kids = {n.kids[1]};
            part.c = condition(head(n.kids[1]), 1);
            expr u;
            u.k = expr::union_;
            u.kids = {n.kids[1], part};
            n.kids[1] = u;
            how = "minus of a union with a part of its right operand";
            return true;
          }
          break;
      }
    }
  }
  return false;
}

bool builder::change(expr& root, std::string& how) {
  std::vector<expr*> all;
  nodes(root, all);
  std::shuffle(all.begin(), all.end(), rng_);
  // Rows kept in a table's order, with repeats, made sorted: the same
  // header and the same rows as a set.
  if (chance(20) && root.k == expr::select && head(root).ordered) {
    expr p;
    p.k = expr::project;
    p.cols = head(root).cols;
    p.kids = {root};
    root = p;
    how = "kept rows sorted";
    return true;
  }
  if (chance(20) && root.k == expr::select && root.c.k == cond::any && head(root).ordered) {
    expr a, b;
    a.k = b.k = expr::select;
    a.kids = b.kids = root.kids;
    a.c = root.c.kids[0];
    b.c = root.c.kids[1];
    root.k = expr::union_;
    root.kids = {a, b};
    how = "OR over kept rows as a union";
    return true;
  }
  for (expr* e : all) {
    expr& n = *e;
    if (n.k == expr::select) {
      std::vector<cond*> cs;
      conds(n.c, cs);
      cond& c = *cs[static_cast<std::size_t>(pick(static_cast<int>(cs.size())))];
      if (c.k == cond::all && chance(30)) {
        c = cond(c.kids[static_cast<std::size_t>(pick(2))]);
        how = "a condition left out";
        return true;
      }
      if (c.k != cond::cmp) continue;
      const int what = pick(3);
      if (what == 0) {
        static const char* const next[][2] = {{"LT", "LTE"}, {"LTE", "LT"}, {"GT", "GTE"}, {"GTE", "GT"}, {"EQ", "NEQ"}, {"NEQ", "EQ"}};
        for (const auto& p : next) {
          if (c.op == p[0]) {
            c.op = p[1];
            break;
          }
        }
        how = "one comparison changed";
      } else if (what == 1 && is_int_text(c.y)) {
        c.y = std::to_string(std::stoll(c.y) + (chance(50) ? 1 : -1));
        how = "one constant changed";
      } else {
        const header in = head(n.kids[0]);
        c.x = in.cols[static_cast<std::size_t>(pick(static_cast<int>(in.cols.size())))];
        how = "one column changed";
      }
      return true;
    }
    if (n.k == expr::project) {
      const header in = head(n.kids[0]);
      n.cols[static_cast<std::size_t>(pick(static_cast<int>(n.cols.size())))] =
          in.cols[static_cast<std::size_t>(pick(static_cast<int>(in.cols.size())))];
      how = "one projected column changed";
      return true;
    }
    if (n.k == expr::union_ || n.k == expr::minus) {
      if (chance(50)) {
        n.k = n.k == expr::union_ ? expr::minus : expr::union_;
        how = "union and minus traded";
      } else {
        std::swap(n.kids[0], n.kids[1]);
        how = "operands swapped";
      }
      return true;
    }
  }
  return false;
}

}  // namespace

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
