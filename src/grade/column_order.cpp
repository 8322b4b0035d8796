// Matching columns: by name first; else a search over the permutations
// that keep each column's values, pruned by those values, up to a bound.
#include "grade/column_order.h"

#include <algorithm>
#include <map>

namespace grade {

namespace {

// Permutations tried at most when columns are matched by their values.
constexpr std::size_t kMostTries = 100000;

using rows_t = std::vector<std::vector<std::string>>;

rows_t all_rows(const evaluation& e) {
  rows_t out;
  for (std::size_t i = 0; i < e.row_count(); ++i) out.push_back(e.cells(i));
  return out;
}

bool all_distinct(rows_t rows) {
  std::sort(rows.begin(), rows.end());
  return std::adjacent_find(rows.begin(), rows.end()) == rows.end();
}

// Whether sub's rows, columns taken in the order `from`, are ref's: as
// sets when `as_set`, else in order.
bool same_rows(const rows_t& ref, const rows_t& sub, const std::vector<std::size_t>& from, bool as_set) {
  if (ref.size() != sub.size()) return false;
  rows_t moved;
  moved.reserve(sub.size());
  for (const auto& row : sub) {
    std::vector<std::string> r;
    r.reserve(from.size());
    for (const std::size_t j : from) r.push_back(j < row.size() ? row[j] : std::string());
    moved.push_back(std::move(r));
  }
  if (!as_set) return moved == ref;
  rows_t want = ref;
  std::sort(want.begin(), want.end());
  std::sort(moved.begin(), moved.end());
  return moved == want;
}

// The values of each column, sorted: a column can stand for another only
// when they hold the same values.
std::vector<std::vector<std::string>> column_values(const rows_t& rows, std::size_t width) {
  std::vector<std::vector<std::string>> out(width);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < width; ++c) out[c].push_back(c < row.size() ? row[c] : std::string());
  }
  for (auto& v : out) std::sort(v.begin(), v.end());
  return out;
}

}  // namespace

std::optional<column_match> match_columns(const evaluation& ref, const evaluation& sub) {
  if (!ref.ok() || !sub.ok()) return std::nullopt;
  const std::vector<std::string> rn = ref.column_names();
  const std::vector<std::string> sn = sub.column_names();
  const std::size_t width = rn.size();
  if (sn.size() != width || ref.row_count() != sub.row_count()) return std::nullopt;
  const rows_t want = all_rows(ref);
  const rows_t got = all_rows(sub);
  const bool as_set = all_distinct(want);

  // By name, when the names are the reference's, each once, in another
  // order: then only that order counts.
  std::map<std::string, std::size_t> where;
  for (std::size_t j = 0; j < width; ++j) where.emplace(sn[j], j);
  if (where.size() == width && std::is_permutation(rn.begin(), rn.end(), sn.begin())) {
    column_match m;
    m.by_name = true;
    for (std::size_t i = 0; i < width; ++i) m.from.push_back(where[rn[i]]);
    return same_rows(want, got, m.from, as_set) ? std::optional<column_match>(m) : std::nullopt;
  }

  // By values: each reference column from a submission column with the
  // same values, tried in order, first the one in the same place.
  const auto rv = column_values(want, width);
  const auto sv = column_values(got, width);
  std::vector<std::vector<std::size_t>> fits(width);
  for (std::size_t i = 0; i < width; ++i) {
    if (i < width && rv[i] == sv[i]) fits[i].push_back(i);
    for (std::size_t j = 0; j < width; ++j) {
      if (j != i && rv[i] == sv[j]) fits[i].push_back(j);
    }
    if (fits[i].empty()) return std::nullopt;
  }
  column_match m;
  std::vector<bool> used(width, false);
  std::size_t tries = 0;
  // Depth-first over the reference's columns.
  std::vector<std::size_t> at(width, 0);
  std::size_t i = 0;
  m.from.assign(width, 0);
  while (true) {
    if (i == width) {
      if (++tries > kMostTries) return std::nullopt;
      if (same_rows(want, got, m.from, as_set)) return m;
      if (width == 0) return std::nullopt;
      --i;
      used[m.from[i]] = false;
      ++at[i];
      continue;
    }
    while (at[i] < fits[i].size() && used[fits[i][at[i]]]) ++at[i];
    if (at[i] == fits[i].size()) {
      at[i] = 0;
      if (i == 0) return std::nullopt;
      --i;
      used[m.from[i]] = false;
      ++at[i];
      continue;
    }
    m.from[i] = fits[i][at[i]];
    used[m.from[i]] = true;
    ++i;
  }
}

}  // namespace grade
