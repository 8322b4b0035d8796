// What building databases draws from the teacher's data, worked out once
// per exercise rather than once per submission: the database built ones
// start from (the teacher's first database, or for a large one a part of it
// that keeps every constraint, so that a built database stays small), the
// values each column takes across the teacher's databases, and where to
// find the teacher's row that holds a given key value.
#ifndef RELALG_GRADE_BUILD_GROUND_H
#define RELALG_GRADE_BUILD_GROUND_H

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

#include "grade/constraints.h"
#include "grade/instance.h"

namespace grade {

// A teacher's database of more rows than this is built from a part of it.
constexpr std::size_t kWholeBase = 400;
// Rows per table of that part, before the rows their references need.
constexpr std::size_t kBaseRows = 40;

class build_ground {
 public:
  // dbs[0]'s schema is the one constraints are stated in; every database
  // given adds its values to the columns of tables that match by name and
  // columns.
  build_ground(const std::vector<const typed_source*>& dbs, const std::vector<constraint>& constraints);

  const instance& base() const { return base_; }
  const std::vector<value>& seen(std::size_t t, std::size_t c) const { return seen_[t][c]; }
  // The row of the first teacher database holding v in column c of table
  // t (a key column some reference points at), if any.
  std::optional<std::size_t> row_with(std::size_t t, std::size_t c, const value& v) const;
  const instance& teacher() const { return *teacher_; }

 private:
  const instance* teacher_;
  instance base_;
  std::vector<std::vector<std::vector<value>>> seen_;
  // By table and column: a target column's values and their rows.
  std::vector<std::vector<std::unordered_map<value, std::size_t, value_hash>>> rows_by_value_;
};

}  // namespace grade

#endif
