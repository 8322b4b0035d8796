// Projection and renaming: cutting rows to listed columns (views, no values
// copied; repeats dropped by hashing before the survivors are sorted), and
// giving a relation a new name and new column names by position.
#include <map>

#include "engine/errors.h"
#include "engine/operators.h"
#include "engine/row_hash.h"
#include "engine/row_sort.h"
#include "engine/show_text.h"
#include "engine/vector_ops.h"

std::vector<int> project_positions(const std::vector<std::string>& colnames,
                                   const std::vector<std::string>& cols) {
  if (cols.empty()) return {};
  if (colnames.empty()) {
    throw evaluation_error("project: the table has no columns to project onto (listed: " +
                           show_text(cols.front()) + ")");
  }
  // Later columns overwrite earlier ones, so a shared name picks the last.
  std::map<std::string, int, std::less<>> where;
  for (std::size_t i = 0; i < colnames.size(); ++i) where[colnames[i]] = static_cast<int>(i);
  std::vector<int> idx;
  idx.reserve(cols.size());
  for (const std::string& c : cols) {
    const auto it = where.find(c);
    idx.push_back(it == where.end() ? 0 : it->second);
  }
  return idx;
}

void check_rename(std::size_t columns, std::size_t names) {
  const std::size_t want = columns + 1;
  if (names < want) {
    throw evaluation_error(
        "rename: expected " + std::to_string(want) + " names (the table name and " +
        std::to_string(want - 1) + " column name" + (want == 2 ? "" : "s") + "), got " +
        std::to_string(names) + "; write rename(E,N(c1,...,cn))");
  }
}

relation rel_project(relation t, const std::vector<std::string>& cols) {
  relation result;
  result.sorted = true;
  if (cols.empty()) {
    // No columns listed: every row becomes the empty row, collapsed to one.
    if (!t.rows.empty()) result.rows.push_back({nullptr, 0});
    return result;
  }
  const std::vector<int> idx = project_positions(t.colnames, cols);
  result.colnames = vector_project(t.colnames, idx);
  result.coltypes = vector_project(t.coltypes, idx);

  // Repeats are dropped as the rows are seen through the listed positions,
  // so only the rows that stay are cut (views, no values copied); a position
  // the row lacks reads as the integer 0. Then they are sorted.
  result.rows = distinct_cuts(t.rows, idx, result.owners);
  std::vector<rowref>().swap(t.rows);
  sort_unique(result.rows, true);
  adopt(result, t);
  return result;
}

relation rel_rename(relation t, const std::vector<std::string>& names) {
  check_rename(t.colnames.size(), names.size());
  t.name = names[0];
  for (std::size_t i = 0; i < t.colnames.size(); ++i) t.colnames[i] = names[i + 1];
  return t;
}
