// The generator's rewrites, each an equivalence by the language's rules
// where it is applied, and its changes, each a near miss.
#include <algorithm>
#include <cctype>

#include "builder.h"

namespace proofgen {

namespace {

bool subset(const std::vector<std::string>& names, const std::vector<std::string>& of) {
  return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
    return n == "zz" || std::find(of.begin(), of.end(), n) != of.end();
  });
}

bool is_int_text(const std::string& s) { return !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-'); }

}  // namespace

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

}  // namespace proofgen
