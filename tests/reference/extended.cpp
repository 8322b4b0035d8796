// The reference's extended operations, each written from its meaning in
// words and nothing else: the natural join as pairs of rows that agree on
// the names both operands have, the intersection as the rows of the first
// found in the second, the division as the candidates of the first's other
// columns that meet every row of the second.
#include <set>

#include "reference.h"

namespace ref {

namespace {

bool repeats(const std::vector<std::string>& names) {
  return std::set<std::string>(names.begin(), names.end()).size() != names.size();
}

// Where a name stands among the columns, or -1.
long position(const std::vector<std::string>& names, const std::string& n) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == n) return static_cast<long>(i);
  }
  return -1;
}

// Cell i of a row; a cell the row lacks reads as the integer 0.
value cell(const row& r, long i) {
  return i >= 0 && static_cast<std::size_t>(i) < r.size() ? r[static_cast<std::size_t>(i)] : value::of_int(0);
}

}  // namespace

table op_njoin(const table& a, const table& b) {
  if (repeats(a.colnames) || repeats(b.colnames)) throw failure("njoin: a column name repeats");
  // Every name of either once, in byte order; a shared column is the first operand's.
  const std::set<std::string> names(a.colnames.begin(), a.colnames.end());
  std::set<std::string> all = names;
  all.insert(b.colnames.begin(), b.colnames.end());
  table r;
  for (const std::string& n : all) {
    r.colnames.push_back(n);
    const long i = position(a.colnames, n);
    r.coltypes.push_back(i >= 0 ? a.coltypes[static_cast<std::size_t>(i)]
                                : b.coltypes[static_cast<std::size_t>(position(b.colnames, n))]);
  }
  for (const row& x : a.rows) {
    for (const row& y : b.rows) {
      bool agree = true;
      for (const std::string& n : b.colnames) {
        if (names.count(n) > 0 && !(cell(x, position(a.colnames, n)) == cell(y, position(b.colnames, n)))) {
          agree = false;
        }
      }
      if (!agree) continue;
      row joined;
      for (const std::string& n : all) {
        const long i = position(a.colnames, n);
        joined.push_back(i >= 0 ? cell(x, i) : cell(y, position(b.colnames, n)));
      }
      r.rows.push_back(joined);
    }
  }
  sort_and_collapse(r.rows);
  return r;
}

table op_intersect(const table& a, const table& b) {
  table r;
  r.name = a.name;
  r.colnames = a.colnames;
  r.coltypes = a.coltypes;
  for (const row& x : a.rows) {
    for (const row& y : b.rows) {
      if (row_equal(x, y)) {
        r.rows.push_back(x);
        break;
      }
    }
  }
  sort_and_collapse(r.rows);
  return r;
}

table op_divide(const table& a, const table& b) {
  if (repeats(a.colnames) || repeats(b.colnames)) throw failure("divide: a column name repeats");
  for (const std::string& n : b.colnames) {
    if (position(a.colnames, n) < 0) throw failure("divide: a column of the divisor is not the dividend's");
  }
  // The dividend's other columns, in its order.
  std::vector<long> other;
  table r;
  for (std::size_t i = 0; i < a.colnames.size(); ++i) {
    if (position(b.colnames, a.colnames[i]) >= 0) continue;
    other.push_back(static_cast<long>(i));
    r.colnames.push_back(a.colnames[i]);
    r.coltypes.push_back(a.coltypes[i]);
  }
  std::list<row> candidates;
  for (const row& x : a.rows) {
    row c;
    for (const long i : other) c.push_back(cell(x, i));
    candidates.push_back(c);
  }
  sort_and_collapse(candidates);
  for (const row& c : candidates) {
    // c qualifies when, for every row y of the divisor, the row of the
    // dividend made of c and y is one of the dividend's rows.
    bool every = true;
    for (const row& y : b.rows) {
      row made(a.colnames.size());
      for (std::size_t k = 0; k < other.size(); ++k) made[static_cast<std::size_t>(other[k])] = c[k];
      for (std::size_t j = 0; j < b.colnames.size(); ++j) {
        made[static_cast<std::size_t>(position(a.colnames, b.colnames[j]))] = cell(y, static_cast<long>(j));
      }
      bool found = false;
      for (const row& x : a.rows) found = found || row_equal(x, made);
      every = every && found;
    }
    if (every) r.rows.push_back(c);
  }
  return r;
}

}  // namespace ref
