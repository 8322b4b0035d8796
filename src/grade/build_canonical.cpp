// Canonical databases: for one branch of a query's shape, one row per table
// occurrence, the equalities of its conditions unified (and, by the keys,
// two occurrences that agree on a key made one row), every other variable
// given a value that meets the comparisons: the value of a row of the
// teacher's where one fits, so that the rows read like the teacher's data,
// and values distinct from the other variables' where they can be, as the
// canonical database of a conjunctive query has them. Besides the branch
// itself, a variation for each of its conditions broken, and the branch's
// rows added to the teacher's data.
#include <algorithm>

#include "grade/built.h"

namespace grade {

namespace {

constexpr std::size_t kMostConds = 16;    // conditions broken one by one at most
constexpr std::size_t kSeenTried = 12;    // teacher's values tried per variable

class union_find {
 public:
  explicit union_find(std::size_t n) : up_(n) {
    for (std::size_t i = 0; i < n; ++i) up_[i] = i;
  }
  std::size_t find(std::size_t i) {
    while (up_[i] != i) i = up_[i] = up_[up_[i]];
    return i;
  }
  void unite(std::size_t a, std::size_t b) { up_[find(a)] = find(b); }

 private:
  std::vector<std::size_t> up_;
};

bool compares(shape_op op, const value& a, const value& b) {
  if (a.is_int != b.is_int) return true;  // the language's mixed rules: left to evaluation
  switch (op) {
    case shape_op::eq: return a == b;
    case shape_op::neq: return a != b;
    case shape_op::lt: return a < b;
    case shape_op::lte: return !(b < a);
    case shape_op::gt: return b < a;
    case shape_op::gte: return !(a < b);
  }
  return true;
}

class instantiation {
 public:
  instantiation(build_context& ctx, const query_branch& b, std::vector<shape_cond> conds)
      : ctx_(ctx), b_(b), conds_(std::move(conds)), uf_(b.vars), bound_(b.vars), val_(b.vars) {}

  std::optional<instance> run(bool over_base) {
    if (!unify() || !chase_keys() || !assign()) return std::nullopt;
    instance db = over_base ? ctx_.base() : ctx_.empty();
    const schema& sch = ctx_.sch();
    for (std::size_t a = 0; a < b_.atoms.size(); ++a) {
      const shape_atom& at = b_.atoms[a];
      row_values row;
      for (std::size_t c = 0; c < sch.tables[at.table].columns.size(); ++c) {
        row.push_back(*val_[uf_.find(at.first_var + c)]);
      }
      std::string line;
      if (template_[a] && ctx_.base().tables[at.table].rows[*template_[a]] == row) {
        line = ctx_.base().tables[at.table].lines[*template_[a]];
      }
      if (std::find(db.tables[at.table].rows.begin(), db.tables[at.table].rows.end(), row) !=
          db.tables[at.table].rows.end()) {
        continue;
      }
      build_context::add_row(db, at.table, std::move(row), std::move(line));
    }
    return db;
  }

 private:
  bool bind(std::size_t v, const value& k) {
    std::optional<value>& b = bound_[uf_.find(v)];
    if (b && *b != k) return false;
    b = k;
    return true;
  }

  bool unite(std::size_t x, std::size_t y) {
    const std::size_t rx = uf_.find(x), ry = uf_.find(y);
    if (rx == ry) return true;
    const std::optional<value> kx = bound_[rx], ky = bound_[ry];
    if (kx && ky && *kx != *ky) return false;
    uf_.unite(rx, ry);
    bound_[uf_.find(rx)] = kx ? kx : ky;
    return true;
  }

  bool unify() {
    for (const shape_cond& c : conds_) {
      if (c.op != shape_op::eq) continue;
      if (c.a.is_var && c.b.is_var) {
        if (!unite(c.a.var, c.b.var)) return false;
      } else if (c.a.is_var || c.b.is_var) {
        if (!bind(c.a.is_var ? c.a.var : c.b.var, c.a.is_var ? c.b.constant : c.a.constant)) return false;
      } else if (c.a.constant.is_int == c.b.constant.is_int && c.a.constant != c.b.constant) {
        return false;
      }
    }
    return true;
  }

  // Two occurrences of a table that agree on a key are one row.
  bool chase_keys() {
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t i = 0; i < b_.atoms.size(); ++i) {
        for (std::size_t j = i + 1; j < b_.atoms.size(); ++j) {
          const shape_atom& x = b_.atoms[i];
          const shape_atom& y = b_.atoms[j];
          if (x.table != y.table) continue;
          for (const constraint& k : ctx_.constraints()) {
            if (k.kind != constraint_kind::key || k.table != x.table) continue;
            const bool agree = std::all_of(k.columns.begin(), k.columns.end(), [&](std::size_t c) {
              return uf_.find(x.first_var + c) == uf_.find(y.first_var + c);
            });
            if (!agree) continue;
            for (std::size_t c = 0; c < ctx_.sch().tables[x.table].columns.size(); ++c) {
              if (uf_.find(x.first_var + c) != uf_.find(y.first_var + c)) {
                if (!unite(x.first_var + c, y.first_var + c)) return false;
                changed = true;
              }
            }
          }
        }
      }
    }
    return true;
  }

  bool admissible_everywhere(std::size_t root, const value& v) {
    for (std::size_t var = 0; var < b_.vars; ++var) {
      if (uf_.find(var) != root) continue;
      const var_place p = place_of(b_, ctx_.sch(), var);
      if (!ctx_.admissible(p.table, p.column, v)) return false;
    }
    return true;
  }

  // Whether v for root keeps every condition whose terms are all known.
  bool consistent(std::size_t root, const value& v) {
    for (const shape_cond& c : conds_) {
      const auto known = [&](const shape_term& t, value& out) {
        if (!t.is_var) {
          out = t.constant;
          return true;
        }
        const std::size_t r = uf_.find(t.var);
        if (r == root) {
          out = v;
          return true;
        }
        if (val_[r]) {
          out = *val_[r];
          return true;
        }
        return false;
      };
      const bool touches = (c.a.is_var && uf_.find(c.a.var) == root) || (c.b.is_var && uf_.find(c.b.var) == root);
      value x, y;
      if (touches && known(c.a, x) && known(c.b, y) && !compares(c.op, x, y)) return false;
    }
    return true;
  }

  bool assign() {
    const schema& sch = ctx_.sch();
    template_.assign(b_.atoms.size(), std::nullopt);
    for (std::size_t a = 0; a < b_.atoms.size(); ++a) {
      const std::size_t n = ctx_.base().tables[b_.atoms[a].table].rows.size();
      if (n > 0) template_[a] = ctx_.rng().below(n);
    }
    for (std::size_t var = 0; var < b_.vars; ++var) {
      const std::size_t root = uf_.find(var);
      if (val_[root]) continue;
      if (bound_[root]) {
        if (!admissible_everywhere(root, *bound_[root])) return false;
        val_[root] = bound_[root];
        continue;
      }
      // Candidates: the templates' values, the constants and neighbours of
      // the places, then the teacher's values there.
      std::vector<value> cands, later;
      bool is_int = true;
      for (std::size_t w = var; w < b_.vars; ++w) {
        if (uf_.find(w) != root) continue;
        const var_place p = place_of(b_, sch, w);
        is_int = sch.tables[p.table].columns[p.column].is_int;
        for (std::size_t a = 0; a < b_.atoms.size(); ++a) {
          if (b_.atoms[a].table == p.table && w == b_.atoms[a].first_var + p.column && template_[a]) {
            cands.push_back(ctx_.base().tables[p.table].rows[*template_[a]][p.column]);
          }
        }
        for (const value& k : ctx_.constants(p.table, p.column)) {
          later.push_back(k);
          for (value& n : neighbours(k)) later.push_back(std::move(n));
        }
        const std::vector<value>& seen = ctx_.seen(p.table, p.column);
        for (std::size_t i = 0; i < kSeenTried && !seen.empty(); ++i) later.push_back(seen[ctx_.rng().below(seen.size())]);
      }
      // Values around those already given, for comparisons between variables.
      for (const std::optional<value>& v : val_) {
        if (!v || v->is_int != is_int) continue;
        later.push_back(*v);
        for (value& n : neighbours(*v)) later.push_back(std::move(n));
      }
      cands.insert(cands.end(), later.begin(), later.end());
      std::optional<value> pick, taken;
      for (const value& v : cands) {
        if (v.is_int != is_int || !admissible_everywhere(root, v) || !consistent(root, v)) continue;
        const bool fresh =
            std::none_of(val_.begin(), val_.end(), [&](const std::optional<value>& o) { return o && *o == v; });
        if (fresh) {
          pick = v;
          break;
        }
        if (!taken) taken = v;
      }
      if (!pick) pick = taken;
      if (!pick) return false;
      val_[root] = pick;
    }
    // Every condition, now that every term is known.
    for (const shape_cond& c : conds_) {
      const value x = c.a.is_var ? *val_[uf_.find(c.a.var)] : c.a.constant;
      const value y = c.b.is_var ? *val_[uf_.find(c.b.var)] : c.b.constant;
      if (!compares(c.op, x, y)) return false;
    }
    return true;
  }

  build_context& ctx_;
  const query_branch& b_;
  std::vector<shape_cond> conds_;
  union_find uf_;
  std::vector<std::optional<value>> bound_, val_;
  std::vector<std::optional<std::size_t>> template_;
};

}  // namespace

void build_canonical(build_context& ctx, std::vector<built_database>& out) {
  const char* const whose[] = {"the reference", "your query"};
  for (std::size_t q = 0; q < ctx.shapes().size(); ++q) {
    for (const query_branch& b : ctx.shapes()[q].branches) {
      const std::string what = b.removal ? std::string("rows that a difference in ") + whose[q % 2] + " takes away"
                                         : std::string("a row for each table ") + whose[q % 2] + " reads, meeting " +
                                               (b.conds.empty() ? "its conditions" : "all its conditions");
      if (auto db = instantiation(ctx, b, b.conds).run(false)) {
        out.push_back({built_kind::canonical, what, std::move(*db)});
      }
      if (auto db = instantiation(ctx, b, b.conds).run(true)) {
        out.push_back({built_kind::canonical, what + ", added to the exercise's data", std::move(*db)});
      }
      for (std::size_t i = 0; i < b.conds.size() && i < kMostConds; ++i) {
        std::vector<shape_cond> conds = b.conds;
        conds[i].op = negated(conds[i].op);
        if (auto db = instantiation(ctx, b, std::move(conds)).run(false)) {
          out.push_back({built_kind::canonical, b.removal ? what + ", one condition broken" : what + " but one",
                         std::move(*db)});
        }
      }
    }
  }
}

}  // namespace grade
