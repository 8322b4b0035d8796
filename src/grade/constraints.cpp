// Checking constraints on an instance, and the largest part of a set of
// rows that keeps every reference (deleting rows whose partner is gone
// until none is left dangling).
#include "grade/constraints.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

namespace grade {

namespace {

using value_set = std::unordered_set<value, value_hash>;

struct key_hash {
  std::size_t operator()(const std::vector<value>& k) const {
    std::size_t h = k.size();
    for (const value& v : k) h = h * 1000003u ^ value_hash()(v);
    return h;
  }
};

bool row_less(const row_values& a, const row_values& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

bool key_holds(const constraint& c, const instance::table_rows& t) {
  std::unordered_set<std::vector<value>, key_hash> seen;
  for (const row_values& r : t.rows) {
    std::vector<value> k;
    k.reserve(c.columns.size());
    for (const std::size_t col : c.columns) k.push_back(r[col]);
    if (!seen.insert(std::move(k)).second) return false;
  }
  return true;
}

value_set partners(const constraint& c, const instance& db) {
  value_set out;
  for (const row_values& r : db.tables[c.target_table].rows) {
    if (!c.target_when || c.target_when->admits(r)) out.insert(r[c.target_column]);
  }
  return out;
}

}  // namespace

bool constraint::operator==(const constraint& o) const {
  return kind == o.kind && table == o.table && columns == o.columns && when == o.when &&
         (kind != constraint_kind::reference ||
          (target_table == o.target_table && target_column == o.target_column && target_when == o.target_when)) &&
         allowed == o.allowed;
}

bool holds(const constraint& c, const instance& db) {
  const instance::table_rows& t = db.tables[c.table];
  switch (c.kind) {
    case constraint_kind::key:
      return key_holds(c, t);
    case constraint_kind::reference: {
      const value_set have = partners(c, db);
      for (const row_values& r : t.rows) {
        if ((!c.when || c.when->admits(r)) && have.count(r[c.columns[0]]) == 0) return false;
      }
      return true;
    }
    case constraint_kind::values:
      for (const row_values& r : t.rows) {
        if (!std::binary_search(c.allowed.begin(), c.allowed.end(), r[c.columns[0]])) return false;
      }
      return true;
    case constraint_kind::order:
      for (std::size_t i = 1; i < t.rows.size(); ++i) {
        if (!row_less(t.rows[i - 1], t.rows[i])) return false;
      }
      return true;
  }
  return false;
}

std::optional<std::size_t> first_broken(const std::vector<constraint>& cs, const instance& db) {
  for (std::size_t i = 0; i < cs.size(); ++i) {
    if (!holds(cs[i], db)) return i;
  }
  return std::nullopt;
}

row_numbering::row_numbering(const instance& db) {
  std::uint32_t n = 0;
  for (const instance::table_rows& t : db.tables) {
    first_.push_back(n);
    n += static_cast<std::uint32_t>(t.rows.size());
  }
  first_.push_back(n);
}

std::size_t row_numbering::table_of(std::uint32_t r) const {
  const auto it = std::upper_bound(first_.begin(), first_.end() - 1, r);
  return static_cast<std::size_t>(it - first_.begin()) - 1;
}

bool has_references(const std::vector<constraint>& cs) {
  return std::any_of(cs.begin(), cs.end(), [](const constraint& c) { return c.kind == constraint_kind::reference; });
}

row_set keep_references(const std::vector<constraint>& cs, const instance& db, const row_set& rows) {
  if (!has_references(cs)) return rows;
  const row_numbering num(db);
  const auto at = [&](std::uint32_t r) -> const row_values& {
    const std::size_t t = num.table_of(r);
    return db.tables[t].rows[r - num.first(t)];
  };
  std::vector<bool> in(num.total(), false);
  for (const std::uint32_t r : rows) in[r] = true;
  for (bool changed = true; changed;) {
    changed = false;
    for (const constraint& c : cs) {
      if (c.kind != constraint_kind::reference) continue;
      value_set have;
      const std::uint32_t tf = num.first(c.target_table);
      const std::size_t tn = db.tables[c.target_table].rows.size();
      for (std::uint32_t r = tf; r < tf + tn; ++r) {
        if (in[r] && (!c.target_when || c.target_when->admits(at(r)))) have.insert(at(r)[c.target_column]);
      }
      const std::uint32_t sf = num.first(c.table);
      const std::size_t sn = db.tables[c.table].rows.size();
      for (std::uint32_t r = sf; r < sf + sn; ++r) {
        if (!in[r]) continue;
        const row_values& v = at(r);
        if ((!c.when || c.when->admits(v)) && have.count(v[c.columns[0]]) == 0) {
          in[r] = false;
          changed = true;
        }
      }
    }
  }
  row_set out;
  for (const std::uint32_t r : rows) {
    if (in[r]) out.push_back(r);
  }
  return out;
}

instance part_of(const instance& db, const row_set& rows) {
  const row_numbering num(db);
  instance out;
  out.tables.resize(db.tables.size());
  for (const std::uint32_t r : rows) {
    const std::size_t t = num.table_of(r);
    const std::size_t i = r - num.first(t);
    out.tables[t].rows.push_back(db.tables[t].rows[i]);
    const std::vector<std::string>& lines = db.tables[t].lines;
    out.tables[t].lines.push_back(i < lines.size() ? lines[i] : std::string());
  }
  return out;
}

void apply_order(const std::vector<constraint>& cs, instance& db) {
  for (const constraint& c : cs) {
    if (c.kind != constraint_kind::order) continue;
    instance::table_rows& t = db.tables[c.table];
    std::vector<std::size_t> idx(t.rows.size());
    for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    std::stable_sort(idx.begin(), idx.end(),
                     [&](std::size_t a, std::size_t b) { return row_less(t.rows[a], t.rows[b]); });
    instance::table_rows sorted;
    for (const std::size_t i : idx) {
      if (!sorted.rows.empty() && !row_less(sorted.rows.back(), t.rows[i])) continue;
      sorted.rows.push_back(std::move(t.rows[i]));
      sorted.lines.push_back(i < t.lines.size() ? std::move(t.lines[i]) : std::string());
    }
    t = std::move(sorted);
  }
}

}  // namespace grade
