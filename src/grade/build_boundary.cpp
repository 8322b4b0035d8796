// Boundary rows and broken constants, over the teacher's data. For a column
// a query compares with a constant k: rows of the teacher's whose value is
// nearest k get k, its neighbours, and the teacher's nearest values on
// either side (GT for GTE shows only on a row at k). And rows holding k get
// other values, one row and then all of them, so that an answer written out
// as constants (the highest rating as EQ(rating, 10), the expected ids in
// an OR) stops matching what the reference finds.
#include <algorithm>
#include <cstdlib>

#include "grade/built.h"

namespace grade {

namespace {

constexpr std::size_t kRowsMoved = 3;     // rows set to each boundary value
constexpr std::size_t kRowsBroken = 4;    // rows holding a constant changed one at a time
constexpr std::size_t kOtherValues = 3;   // teacher's values tried in place of a constant

// How far a value is from k, for picking the rows nearest a boundary.
long long distance(const value& v, const value& k) {
  if (v.is_int && k.is_int) return std::llabs(static_cast<long long>(v.i) - k.i);
  if (v.s == k.s) return 0;
  std::size_t same = 0;
  while (same < v.s.size() && same < k.s.size() && v.s[same] == k.s[same]) ++same;
  return 1000 - static_cast<long long>(same);
}

std::vector<value> around(const build_context& ctx, std::size_t t, std::size_t c, const value& k) {
  std::vector<value> out{k};
  for (value& v : neighbours(k)) out.push_back(std::move(v));
  // The teacher's nearest values below and above.
  const std::vector<value>& seen = ctx.seen(t, c);
  const auto up = std::upper_bound(seen.begin(), seen.end(), k);
  if (up != seen.end()) out.push_back(*up);
  const auto low = std::lower_bound(seen.begin(), seen.end(), k);
  if (low != seen.begin()) out.push_back(*(low - 1));
  out.erase(std::remove_if(out.begin(), out.end(), [&](const value& v) { return !ctx.admissible(t, c, v); }),
            out.end());
  return out;
}

std::string cell_name(const schema& sch, std::size_t t, std::size_t c) {
  return sch.tables[t].name + "." + sch.tables[t].columns[c].name;
}

}  // namespace

void build_boundary(build_context& ctx, std::vector<built_database>& out) {
  const instance& base = ctx.base();
  const schema& sch = ctx.sch();
  for (std::size_t t = 0; t < sch.tables.size(); ++t) {
    const std::vector<row_values>& rows = base.tables[t].rows;
    if (!ctx.used(t) || rows.empty()) continue;
    for (std::size_t c = 0; c < sch.tables[t].columns.size(); ++c) {
      for (const value& k : ctx.constants(t, c)) {
        // Rows nearest k first.
        std::vector<std::size_t> order(rows.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
          return distance(rows[a][c], k) < distance(rows[b][c], k);
        });
        for (const value& w : around(ctx, t, c, k)) {
          std::size_t moved = 0;
          for (const std::size_t i : order) {
            if (moved == kRowsMoved) break;
            if (rows[i][c] == w) continue;
            instance db = base;
            ctx.set_value(db, t, i, c, w);
            out.push_back({built_kind::boundary, "the exercise's data with " + cell_name(sch, t, c) + " set to " + w.text() +
                                                     " in one row",
                           std::move(db)});
            ++moved;
          }
        }
        // The rows that hold k, given other values.
        std::vector<std::size_t> holding;
        for (std::size_t i = 0; i < rows.size(); ++i) {
          if (rows[i][c] == k) holding.push_back(i);
        }
        if (holding.empty()) continue;
        std::vector<value> instead = neighbours(k);
        const std::vector<value>& seen = ctx.seen(t, c);
        std::vector<value> others;
        for (const value& v : seen) {
          if (v != k) others.push_back(v);
        }
        for (std::size_t j = 0; j < kOtherValues && !others.empty(); ++j) {
          const std::size_t at = ctx.rng().below(others.size());
          instead.push_back(others[at]);
          others.erase(others.begin() + static_cast<long>(at));
        }
        for (const value& w : instead) {
          if (!ctx.admissible(t, c, w)) continue;
          for (std::size_t j = 0; j < holding.size() && j < kRowsBroken; ++j) {
            instance db = base;
            ctx.set_value(db, t, holding[j], c, w);
            out.push_back({built_kind::boundary, "the exercise's data with " + cell_name(sch, t, c) + " " + k.text() +
                                                     " changed to " + w.text() + " in one row",
                           std::move(db)});
          }
          if (holding.size() < 2) continue;
          instance db = base;
          for (const std::size_t i : holding) ctx.set_value(db, t, i, c, w);
          out.push_back({built_kind::boundary, "the exercise's data with every " + cell_name(sch, t, c) + " " + k.text() +
                                                   " changed to " + w.text(),
                         std::move(db)});
        }
      }
    }
  }
}

}  // namespace grade
