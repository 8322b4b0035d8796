// The shared ground of the builders: value pools gathered once from the
// teacher's data and the two queries, and the repair that makes a built
// database keep every constraint or gives it up.
#include "grade/build_context.h"

#include <algorithm>
#include <climits>
#include <set>
#include <unordered_set>

namespace grade {

namespace {

constexpr int kRepairRounds = 6;  // rounds of adding partners at most

void sort_unique(std::vector<value>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

struct values_hash {
  std::size_t operator()(const std::vector<value>& k) const {
    std::size_t h = k.size();
    for (const value& v : k) h = h * 1000003u ^ value_hash()(v);
    return h;
  }
};

bool holds_value(const instance& db, std::size_t t, std::size_t c, const value& v) {
  for (const row_values& r : db.tables[t].rows) {
    if (r[c] == v) return true;
  }
  return false;
}

}  // namespace

std::uint64_t build_rng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<value> neighbours(const value& k) {
  std::vector<value> out;
  if (k.is_int) {
    if (k.i > INT32_MIN) out.push_back(value::of_int(k.i - 1));
    if (k.i < INT32_MAX) out.push_back(value::of_int(k.i + 1));
    return out;
  }
  const std::string& s = k.s;
  // The last byte before a closing apostrophe is the one to move.
  const bool closed = s.size() >= 2 && s.front() == '\'' && s.back() == '\'';
  const std::size_t end = closed ? s.size() - 1 : s.size();
  if (end > (closed ? 1u : 0u)) {
    std::string below = s;
    const unsigned char c = static_cast<unsigned char>(s[end - 1]);
    if (c > '!' + 1 && c - 1 != ',' && c - 1 != '\'') {
      below[end - 1] = static_cast<char>(c - 1);
    } else {
      below.erase(end - 1, 1);
    }
    if (writable_text(below, false)) out.push_back(value::of_text(below));
  }
  std::string above = s;
  above.insert(above.begin() + static_cast<long>(end), 'a');
  if (writable_text(above, false)) out.push_back(value::of_text(above));
  return out;
}

build_context::build_context(const exercise_facts& facts, const std::vector<std::string>& queries,
                             std::uint64_t seed)
    : facts_(facts), rng_(seed) {
  const schema& s = sch();
  const std::size_t n = s.tables.size();
  used_.assign(n, false);
  constants_.resize(n);
  pool_.resize(n);
  allowed_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t w = s.tables[t].columns.size();
    constants_[t].resize(w);
    pool_[t].resize(w);
    allowed_[t].assign(w, nullptr);
  }
  for (const constraint& c : facts.constraints) {
    if (c.kind == constraint_kind::values) allowed_[c.table][c.columns[0]] = &c.allowed;
  }
  // Constants, and the columns compared with one another.
  std::set<std::pair<std::pair<std::size_t, std::size_t>, std::pair<std::size_t, std::size_t>>> links;
  bool all_read = true;
  for (const std::string& q : queries) {
    shapes_.push_back(shape_of(q, s, facts.extended));
    const query_shape& qs = shapes_.back();
    if (qs.branches.empty()) all_read = false;
    for (const query_branch& b : qs.branches) {
      for (const shape_atom& a : b.atoms) used_[a.table] = true;
      for (const shape_cond& c : b.conds) {
        if (c.a.is_var && c.b.is_var) {
          const var_place x = place_of(b, s, c.a.var);
          const var_place y = place_of(b, s, c.b.var);
          links.insert({{x.table, x.column}, {y.table, y.column}});
          continue;
        }
        if (c.a.is_var == c.b.is_var) continue;
        const var_place p = place_of(b, s, c.a.is_var ? c.a.var : c.b.var);
        const value& k = c.a.is_var ? c.b.constant : c.a.constant;
        if (k.is_int == s.tables[p.table].columns[p.column].is_int) constants_[p.table][p.column].push_back(k);
      }
    }
  }
  if (!all_read) used_.assign(n, true);
  for (std::size_t t = 0; t < n; ++t) {
    for (std::vector<value>& k : constants_[t]) sort_unique(k);
  }
  for (std::size_t t = 0; t < n; ++t) {
    for (std::size_t c = 0; c < constants_[t].size(); ++c) {
      std::vector<value>& p = pool_[t][c];
      for (const value& k : constants_[t][c]) {
        p.push_back(k);
        for (value& v : neighbours(k)) p.push_back(std::move(v));
      }
      p.insert(p.end(), seen(t, c).begin(), seen(t, c).end());
      for (const auto& l : links) {
        const auto add = [&](std::pair<std::size_t, std::size_t> from) {
          for (const value& v : seen(from.first, from.second)) {
            if (v.is_int == s.tables[t].columns[c].is_int) p.push_back(v);
          }
        };
        if (l.first == std::make_pair(t, c)) add(l.second);
        if (l.second == std::make_pair(t, c)) add(l.first);
      }
      p.erase(std::remove_if(p.begin(), p.end(),
                             [&](const value& v) { return !admissible(t, c, v); }),
              p.end());
      sort_unique(p);
    }
  }
}

bool build_context::admissible(std::size_t t, std::size_t c, const value& v) const {
  if (v.is_int != sch().tables[t].columns[c].is_int) return false;
  if (!v.is_int && !writable_text(v.s, false)) return false;
  const std::vector<value>* a = allowed_[t][c];
  return a == nullptr || std::binary_search(a->begin(), a->end(), v);
}

std::optional<value> build_context::fresh(const instance& db, std::size_t t, std::size_t c) {
  std::vector<value> cands;
  const std::vector<value>& from = allowed_[t][c] != nullptr ? *allowed_[t][c] : seen(t, c);
  for (const value& v : from) {
    if (!holds_value(db, t, c, v) && admissible(t, c, v)) cands.push_back(v);
  }
  if (!cands.empty()) return cands[rng_.below(cands.size())];
  if (allowed_[t][c] != nullptr) return std::nullopt;
  // Past the largest value anywhere in the column.
  std::optional<value> top;
  for (const row_values& r : db.tables[t].rows) {
    if (!top || *top < r[c]) top = r[c];
  }
  if (!seen(t, c).empty() && (!top || *top < seen(t, c).back())) top = seen(t, c).back();
  if (!top) return sch().tables[t].columns[c].is_int ? value::of_int(1) : value::of_text("'a'");
  for (int tries = 0; tries < 4; ++tries) {
    const std::vector<value> near = neighbours(*top);
    if (near.empty() || !(*top < near.back())) return std::nullopt;
    top = near.back();
    if (admissible(t, c, *top) && !holds_value(db, t, c, *top)) return top;
  }
  return std::nullopt;
}

void build_context::set_value(instance& db, std::size_t t, std::size_t r, std::size_t c, const value& v) {
  row_values& row = db.tables[t].rows[r];
  if (row[c] == v) return;
  const value old = row[c];
  row[c] = v;
  if (r < db.tables[t].lines.size()) db.tables[t].lines[r].clear();
  // The rows that referred to the old value follow it, unless another row
  // still holds that value for them.
  for (const constraint& k : constraints()) {
    if (k.kind != constraint_kind::reference || k.target_table != t || k.target_column != c) continue;
    const bool still = std::any_of(db.tables[t].rows.begin(), db.tables[t].rows.end(), [&](const row_values& o) {
      return o[c] == old && (!k.target_when || k.target_when->admits(o));
    });
    if (still) continue;
    instance::table_rows& src = db.tables[k.table];
    for (std::size_t i = 0; i < src.rows.size(); ++i) {
      if (src.rows[i][k.columns[0]] == old && (!k.when || k.when->admits(src.rows[i])) &&
          !(k.table == t && i == r)) {
        set_value(db, k.table, i, k.columns[0], v);
      }
    }
  }
}

void build_context::add_row(instance& db, std::size_t t, row_values row, std::string line) {
  instance::table_rows& rows = db.tables[t];
  rows.lines.resize(rows.rows.size());
  rows.rows.push_back(std::move(row));
  rows.lines.push_back(std::move(line));
}

bool build_context::distinct_keys(instance& db, std::size_t t, std::size_t r, const std::vector<std::size_t>& keep) {
  for (int round = 0; round < 8; ++round) {
    bool clash = false;
    for (const constraint& k : constraints()) {
      if (k.kind != constraint_kind::key || k.table != t) continue;
      const instance::table_rows& rows = db.tables[t];
      bool same = false;
      for (std::size_t j = 0; j < rows.rows.size() && !same; ++j) {
        if (j == r) continue;
        same = std::all_of(k.columns.begin(), k.columns.end(),
                           [&](std::size_t c) { return rows.rows[j][c] == rows.rows[r][c]; });
      }
      if (!same) continue;
      clash = true;
      std::vector<std::size_t> free;
      for (const std::size_t c : k.columns) {
        if (std::find(keep.begin(), keep.end(), c) == keep.end()) free.push_back(c);
      }
      if (free.empty()) return false;
      const std::size_t c = free[rng_.below(free.size())];
      const std::optional<value> v = fresh(db, t, c);
      if (!v) return false;
      set_value(db, t, r, c, *v);
    }
    if (!clash) return true;
  }
  return false;
}

bool build_context::add_partner(instance& db, const constraint& c, const value& v) {
  const std::size_t u = c.target_table;
  const auto fits = [&](const row_values& r) { return !c.target_when || c.target_when->admits(r); };
  // The teacher's own row with that value, where there is one.
  const instance::table_rows& all = facts_.ground->teacher().tables[u];
  if (const std::optional<std::size_t> i = facts_.ground->row_with(u, c.target_column, v)) {
    if (fits(all.rows[*i])) {
      add_row(db, u, all.rows[*i], *i < all.lines.size() ? all.lines[*i] : std::string());
      return true;
    }
  }
  const instance::table_rows& teacher = base().tables[u];
  std::vector<std::size_t> like;
  for (std::size_t i = 0; i < teacher.rows.size(); ++i) {
    if (fits(teacher.rows[i])) like.push_back(i);
  }
  row_values row;
  if (!like.empty()) {
    row = teacher.rows[like[rng_.below(like.size())]];
  } else if (!teacher.rows.empty()) {
    row = teacher.rows[rng_.below(teacher.rows.size())];
  } else {
    return false;
  }
  row[c.target_column] = v;
  std::vector<std::size_t> keep{c.target_column};
  if (c.target_when) {
    row[c.target_when->column] = c.target_when->equals;
    keep.push_back(c.target_when->column);
  }
  add_row(db, u, std::move(row));
  if (distinct_keys(db, u, db.tables[u].rows.size() - 1, keep)) return true;
  db.tables[u].rows.pop_back();
  db.tables[u].lines.pop_back();
  return false;
}

bool build_context::repair(instance& db) {
  for (instance::table_rows& t : db.tables) t.lines.resize(t.rows.size());
  // Partners first: the rows references ask for, the teacher's where they
  // fit; a partner that cannot be had leaves its rows to go below.
  bool settled = false;
  for (int round = 0; round < kRepairRounds && !settled; ++round) {
    settled = true;
    for (const constraint& c : constraints()) {
      if (c.kind != constraint_kind::reference) continue;
      std::vector<value> have;
      for (const row_values& r : db.tables[c.target_table].rows) {
        if (!c.target_when || c.target_when->admits(r)) have.push_back(r[c.target_column]);
      }
      sort_unique(have);
      std::vector<value> need;
      for (const row_values& r : db.tables[c.table].rows) {
        if ((!c.when || c.when->admits(r)) && !std::binary_search(have.begin(), have.end(), r[c.columns[0]])) {
          need.push_back(r[c.columns[0]]);
        }
      }
      sort_unique(need);
      for (const value& v : need) {
        if (add_partner(db, c, v)) settled = false;
      }
    }
  }
  // Then what breaks a key or a value set goes (of rows that agree on a
  // key, the first stays), and with it the rows left without a partner.
  for (const constraint& c : constraints()) {
    if (c.kind != constraint_kind::key && c.kind != constraint_kind::values) continue;
    instance::table_rows& t = db.tables[c.table];
    instance::table_rows kept;
    std::unordered_set<std::vector<value>, values_hash> keys;
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      const row_values& r = t.rows[i];
      if (c.kind == constraint_kind::values) {
        if (!std::binary_search(c.allowed.begin(), c.allowed.end(), r[c.columns[0]])) continue;
      } else {
        std::vector<value> k;
        for (const std::size_t col : c.columns) k.push_back(r[col]);
        if (!keys.insert(std::move(k)).second) continue;
      }
      kept.rows.push_back(r);
      kept.lines.push_back(t.lines[i]);
    }
    t = std::move(kept);
  }
  if (has_references(constraints())) {
    row_set all(db.row_count());
    for (std::uint32_t r = 0; r < all.size(); ++r) all[r] = r;
    db = part_of(db, keep_references(constraints(), db, all));
  }
  apply_order(constraints(), db);
  return !first_broken(constraints(), db);
}

instance build_context::empty() const {
  instance out;
  out.tables.resize(sch().tables.size());
  return out;
}

}  // namespace grade
