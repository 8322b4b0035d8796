// Structural cases over the teacher's data: a table emptied, a table cut to
// one of its rows (taking with them the rows that refer to what goes), a
// row repeated with new values only where its keys need them, and every
// table empty.
#include <algorithm>

#include "grade/built.h"

namespace grade {

namespace {

constexpr std::size_t kRowsCut = 6;       // one-row cuts per table at most
constexpr std::size_t kRowsRepeated = 4;  // repeated rows per table at most

// Spread picks of k indexes out of n: the first, the last, and between.
std::vector<std::size_t> spread(std::size_t n, std::size_t k) {
  std::vector<std::size_t> out;
  if (n == 0) return out;
  if (n <= k) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(i);
    return out;
  }
  for (std::size_t j = 0; j < k; ++j) out.push_back(j * (n - 1) / (k - 1));
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace

void build_structural(build_context& ctx, std::vector<built_database>& out) {
  const instance& base = ctx.base();
  const schema& sch = ctx.sch();
  const row_numbering num(base);
  const auto without = [&](std::size_t t, std::optional<std::size_t> only) {
    row_set rows;
    for (std::uint32_t r = 0; r < num.total(); ++r) {
      const std::size_t at = num.table_of(r);
      if (at != t || (only && r - num.first(t) == *only)) rows.push_back(r);
    }
    return part_of(base, keep_references(ctx.constraints(), base, rows));
  };
  out.push_back({built_kind::structural, "every table empty", ctx.empty()});
  for (std::size_t t = 0; t < sch.tables.size(); ++t) {
    if (!ctx.used(t) || base.tables[t].rows.empty()) continue;
    out.push_back({built_kind::structural, "the exercise's data with " + sch.tables[t].name + " empty", without(t, std::nullopt)});
    for (const std::size_t i : spread(base.tables[t].rows.size(), kRowsCut)) {
      out.push_back({built_kind::structural, "the exercise's data with " + sch.tables[t].name + " cut to one row", without(t, i)});
    }
    for (const std::size_t i : spread(base.tables[t].rows.size(), kRowsRepeated)) {
      instance db = base;
      build_context::add_row(db, t, base.tables[t].rows[i]);
      if (!ctx.distinct_keys(db, t, db.tables[t].rows.size() - 1, {})) continue;
      out.push_back({built_kind::structural, "the exercise's data with a row of " + sch.tables[t].name + " repeated, its keys changed",
                     std::move(db)});
    }
  }
}

}  // namespace grade
