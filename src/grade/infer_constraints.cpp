// Constraint inference by brute force over small column sets: the teacher's
// tables are small, and a key of more than three columns is rare enough to
// be stated as "all columns". Every constraint found is checked on every
// database that holds its tables.
#include "grade/infer_constraints.h"

#include <algorithm>
#include <set>

namespace grade {

namespace {

constexpr std::size_t kKeyWidth = 3;      // the widest key looked for
constexpr std::size_t kFewValues = 5;     // a value set holds at most this many

using dbs_t = std::vector<const typed_source*>;

bool same_columns(const table_info& a, const table_info& b) {
  if (a.columns.size() != b.columns.size()) return false;
  for (std::size_t c = 0; c < a.columns.size(); ++c) {
    if (a.columns[c].name != b.columns[c].name || a.columns[c].is_int != b.columns[c].is_int) return false;
  }
  return true;
}

// Calls fn(rows) for the table t in every database that has it.
template <class Fn>
void each_instance(const dbs_t& dbs, std::size_t t, Fn&& fn) {
  for (std::size_t d = 0; d < dbs.size(); ++d) {
    if (const instance::table_rows* rows = aligned_table(dbs, d, t)) fn(*rows);
  }
}

bool unique_on(const dbs_t& dbs, std::size_t t, const std::vector<std::size_t>& cols) {
  bool ok = true;
  each_instance(dbs, t, [&](const instance::table_rows& rows) {
    std::set<std::vector<value>> seen;
    for (const row_values& r : rows.rows) {
      std::vector<value> k;
      for (const std::size_t c : cols) k.push_back(r[c]);
      if (!seen.insert(std::move(k)).second) ok = false;
    }
  });
  return ok;
}

// Every subset of {0..n-1} of size k, ascending, in lexicographic order.
void subsets(std::size_t n, std::size_t k, std::vector<std::vector<std::size_t>>& out) {
  std::vector<std::size_t> s(k);
  for (std::size_t i = 0; i < k; ++i) s[i] = i;
  while (true) {
    out.push_back(s);
    std::size_t i = k;
    while (i > 0 && s[i - 1] == n - k + i - 1) --i;
    if (i == 0) return;
    ++s[i - 1];
    for (std::size_t j = i; j < k; ++j) s[j] = s[j - 1] + 1;
  }
}

void keys_of(const dbs_t& dbs, std::size_t t, std::vector<constraint>& out) {
  const std::size_t n = dbs[0]->sch.tables[t].columns.size();
  std::vector<std::size_t> all(n);
  for (std::size_t c = 0; c < n; ++c) all[c] = c;
  if (n == 0 || !unique_on(dbs, t, all)) return;  // a row held twice: no key
  std::vector<std::vector<std::size_t>> found;
  for (std::size_t k = 1; k <= std::min(n, kKeyWidth); ++k) {
    std::vector<std::vector<std::size_t>> cands;
    subsets(n, k, cands);
    for (const auto& cols : cands) {
      const bool wider = std::any_of(found.begin(), found.end(), [&](const std::vector<std::size_t>& f) {
        return std::includes(cols.begin(), cols.end(), f.begin(), f.end());
      });
      if (!wider && unique_on(dbs, t, cols)) found.push_back(cols);
    }
  }
  if (found.empty()) found.push_back(all);
  for (auto& cols : found) {
    constraint c;
    c.kind = constraint_kind::key;
    c.table = t;
    c.columns = std::move(cols);
    out.push_back(std::move(c));
  }
}

void values_of(const dbs_t& dbs, std::size_t t, std::vector<constraint>& out) {
  const table_info& info = dbs[0]->sch.tables[t];
  for (std::size_t col = 0; col < info.columns.size(); ++col) {
    std::set<value> seen;
    std::size_t rows = 0;
    each_instance(dbs, t, [&](const instance::table_rows& r) {
      for (const row_values& v : r.rows) seen.insert(v[col]);
      rows += r.rows.size();
    });
    if (seen.empty() || seen.size() > kFewValues || rows < 2 * seen.size()) continue;
    // An int column counts only as a flag: 0 and 1.
    if (info.columns[col].is_int && seen != std::set<value>{value::of_int(0), value::of_int(1)}) continue;
    constraint c;
    c.kind = constraint_kind::values;
    c.table = t;
    c.columns = {col};
    c.allowed.assign(seen.begin(), seen.end());
    out.push_back(std::move(c));
  }
}

void order_of(const dbs_t& dbs, std::size_t t, std::vector<constraint>& out) {
  constraint c;
  c.kind = constraint_kind::order;
  c.table = t;
  bool ok = true;
  bool some = false;
  each_instance(dbs, t, [&](const instance::table_rows& r) {
    some = some || r.rows.size() >= 2;
    instance one;
    one.tables.resize(t + 1);
    one.tables[t].rows = r.rows;
    ok = ok && holds(c, one);
  });
  if (ok && some) out.push_back(std::move(c));
}

// Whether every database that holds rows of the source keeps the reference.
bool reference_holds(const dbs_t& dbs, const constraint& c) {
  bool ok = true;
  bool some = false;
  for (std::size_t d = 0; d < dbs.size() && ok; ++d) {
    const instance::table_rows* src = aligned_table(dbs, d, c.table);
    if (src == nullptr) continue;
    const bool bound = std::any_of(src->rows.begin(), src->rows.end(),
                                   [&](const row_values& r) { return !c.when || c.when->admits(r); });
    if (!bound) continue;
    some = true;
    const instance::table_rows* dst = aligned_table(dbs, d, c.target_table);
    if (dst == nullptr) return false;
    instance pair;
    pair.tables.resize(std::max(c.table, c.target_table) + 1);
    pair.tables[c.table].rows = src->rows;
    pair.tables[c.target_table].rows = dst->rows;
    ok = holds(c, pair);
  }
  return ok && some;
}

void references_of(const dbs_t& dbs, const std::vector<constraint>& found, std::vector<constraint>& out) {
  const schema& sch = dbs[0]->sch;
  const auto unary_key = [&](std::size_t t, std::size_t col) {
    return std::any_of(found.begin(), found.end(), [&](const constraint& k) {
      return k.kind == constraint_kind::key && k.table == t && k.columns == std::vector<std::size_t>{col};
    });
  };
  std::vector<const constraint*> few;
  for (const constraint& c : found) {
    if (c.kind == constraint_kind::values && c.allowed.size() >= 2) few.push_back(&c);
  }
  for (std::size_t u = 0; u < sch.tables.size(); ++u) {
    for (std::size_t d = 0; d < sch.tables[u].columns.size(); ++d) {
      if (!unary_key(u, d)) continue;
      for (std::size_t t = 0; t < sch.tables.size(); ++t) {
        for (std::size_t c = 0; c < sch.tables[t].columns.size(); ++c) {
          if ((t == u && c == d) || sch.tables[t].columns[c].is_int != sch.tables[u].columns[d].is_int) continue;
          constraint r;
          r.kind = constraint_kind::reference;
          r.table = t;
          r.columns = {c};
          r.target_table = u;
          r.target_column = d;
          if (reference_holds(dbs, r)) {
            // Narrowed to the partners of one value of a few-valued column.
            bool narrowed = false;
            for (const constraint* f : few) {
              if (f->table != u) continue;
              for (const value& w : f->allowed) {
                constraint n = r;
                n.target_when = row_filter{f->columns[0], w};
                if (reference_holds(dbs, n)) {
                  out.push_back(std::move(n));
                  narrowed = true;
                }
              }
            }
            if (!narrowed) out.push_back(std::move(r));
            continue;
          }
          for (const constraint* f : few) {
            if (f->table != t) continue;
            for (const value& v : f->allowed) {
              constraint n = r;
              n.when = row_filter{f->columns[0], v};
              if (reference_holds(dbs, n)) out.push_back(std::move(n));
            }
          }
        }
      }
    }
  }
}

}  // namespace

const instance::table_rows* aligned_table(const std::vector<const typed_source*>& dbs, std::size_t d,
                                          std::size_t t) {
  const table_info& want = dbs[0]->sch.tables[t];
  if (d == 0) return &dbs[0]->data.tables[t];
  const std::optional<std::size_t> at = dbs[d]->sch.table(want.name);
  if (!at || !same_columns(want, dbs[d]->sch.tables[*at])) return nullptr;
  return &dbs[d]->data.tables[*at];
}

std::vector<constraint> infer_constraints(const std::vector<const typed_source*>& dbs) {
  std::vector<constraint> keys, refs, rest;
  if (dbs.empty()) return keys;
  const std::size_t tables = dbs[0]->sch.tables.size();
  for (std::size_t t = 0; t < tables; ++t) {
    keys_of(dbs, t, keys);
    values_of(dbs, t, rest);
  }
  std::vector<constraint> found = keys;
  found.insert(found.end(), rest.begin(), rest.end());
  references_of(dbs, found, refs);
  for (std::size_t t = 0; t < tables; ++t) order_of(dbs, t, rest);
  keys.insert(keys.end(), refs.begin(), refs.end());
  keys.insert(keys.end(), rest.begin(), rest.end());
  return keys;
}

}  // namespace grade
