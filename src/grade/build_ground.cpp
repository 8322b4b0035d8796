// The ground of building: the teacher's values by column, an index of key
// values to rows, and the database built ones start from. A large teacher's
// database is cut to rows spread over each table, then given back the rows
// its references need, from the teacher's own, until none is missing.
#include "grade/build_ground.h"

#include <algorithm>

#include "grade/infer_constraints.h"

namespace grade {

build_ground::build_ground(const std::vector<const typed_source*>& dbs, const std::vector<constraint>& constraints)
    : teacher_(&dbs[0]->data) {
  const schema& sch = dbs[0]->sch;
  const std::size_t n = sch.tables.size();
  seen_.resize(n);
  rows_by_value_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t w = sch.tables[t].columns.size();
    seen_[t].resize(w);
    rows_by_value_[t].resize(w);
    for (std::size_t d = 0; d < dbs.size(); ++d) {
      const instance::table_rows* rows = aligned_table(dbs, d, t);
      if (rows == nullptr) continue;
      for (const row_values& r : rows->rows) {
        for (std::size_t c = 0; c < w; ++c) seen_[t][c].push_back(r[c]);
      }
    }
    for (std::vector<value>& v : seen_[t]) {
      std::sort(v.begin(), v.end());
      v.erase(std::unique(v.begin(), v.end()), v.end());
    }
  }
  for (const constraint& c : constraints) {
    if (c.kind != constraint_kind::reference) continue;
    auto& index = rows_by_value_[c.target_table][c.target_column];
    if (!index.empty()) continue;
    const std::vector<row_values>& rows = teacher_->tables[c.target_table].rows;
    for (std::size_t i = 0; i < rows.size(); ++i) index.emplace(rows[i][c.target_column], i);
  }
  if (teacher_->row_count() <= kWholeBase) {
    base_ = *teacher_;
    return;
  }
  // Rows spread over each table, then their partners.
  base_.tables.resize(n);
  std::vector<std::vector<bool>> in(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t rows = teacher_->tables[t].rows.size();
    in[t].assign(rows, false);
    const std::size_t step = std::max<std::size_t>(1, rows / kBaseRows);
    for (std::size_t i = 0; i < rows; i += step) in[t][i] = true;
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const constraint& c : constraints) {
      if (c.kind != constraint_kind::reference) continue;
      const std::vector<row_values>& src = teacher_->tables[c.table].rows;
      for (std::size_t i = 0; i < src.size(); ++i) {
        if (!in[c.table][i] || (c.when && !c.when->admits(src[i]))) continue;
        const std::optional<std::size_t> j = row_with(c.target_table, c.target_column, src[i][c.columns[0]]);
        if (j && !in[c.target_table][*j]) {
          in[c.target_table][*j] = true;
          changed = true;
        }
      }
    }
  }
  for (std::size_t t = 0; t < n; ++t) {
    const instance::table_rows& from = teacher_->tables[t];
    for (std::size_t i = 0; i < from.rows.size(); ++i) {
      if (!in[t][i]) continue;
      base_.tables[t].rows.push_back(from.rows[i]);
      base_.tables[t].lines.push_back(i < from.lines.size() ? from.lines[i] : std::string());
    }
  }
}

std::optional<std::size_t> build_ground::row_with(std::size_t t, std::size_t c, const value& v) const {
  const auto& index = rows_by_value_[t][c];
  const auto it = index.find(v);
  if (it == index.end()) return std::nullopt;
  return it->second;
}

}  // namespace grade
