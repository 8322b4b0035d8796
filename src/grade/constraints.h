// What every database grading compares on must keep, beside the teacher's
// own: the keys, references, value sets and row orders that the teacher's
// databases all show. A right answer may rely on them (a difference of
// projections is right while the projected column is a key; a join drops
// nothing while every reservation's sailor exists), so a database that
// breaks one could make a right answer look wrong.
//
//   key T(c1, ..., cn)      no two rows of T agree on all of c1..cn
//   reference T(c) -> U(d)  every value of T.c is a value of U.d, which is a
//                           key of U; either side may carry "where x = V":
//                           only T's rows with V in x must find a partner,
//                           or only U's rows with V in x count as partners
//   values T(c) = V1, ...   T.c holds no other values
//   order T                 T's rows stand in ascending order, none twice
#ifndef RELALG_GRADE_CONSTRAINTS_H
#define RELALG_GRADE_CONSTRAINTS_H

#include <cstddef>
#include <optional>
#include <vector>

#include "grade/ddmin.h"
#include "grade/instance.h"

namespace grade {

// Rows of a table that hold `equals` in `column`.
struct row_filter {
  std::size_t column = 0;
  value equals;

  bool admits(const row_values& r) const { return r[column] == equals; }
  bool operator==(const row_filter& o) const { return column == o.column && equals == o.equals; }
};

enum class constraint_kind : std::uint8_t { key, reference, values, order };

struct constraint {
  constraint_kind kind = constraint_kind::key;
  std::size_t table = 0;
  // key: its columns, ascending; reference and values: the one column.
  std::vector<std::size_t> columns;
  std::optional<row_filter> when;  // reference: the rows of `table` it binds
  std::size_t target_table = 0;    // reference: U and d
  std::size_t target_column = 0;
  std::optional<row_filter> target_when;  // reference: the rows of U that count
  std::vector<value> allowed;             // values: ascending

  bool operator==(const constraint& o) const;
};

// Whether an instance (over the schema the constraint was made for) keeps it.
bool holds(const constraint& c, const instance& db);
// The first constraint the instance breaks, or none.
std::optional<std::size_t> first_broken(const std::vector<constraint>& cs, const instance& db);

// Rows in one numbering across the tables of an instance, table after
// table, as a source numbers them.
class row_numbering {
 public:
  explicit row_numbering(const instance& db);
  std::size_t table_of(std::uint32_t r) const;
  std::uint32_t first(std::size_t t) const { return first_[t]; }
  std::uint32_t total() const { return first_.back(); }

 private:
  std::vector<std::uint32_t> first_;  // one per table, and the total
};

// The largest part of `rows` (rows of db, numbered as above) that keeps
// every reference: rows whose partner is missing are dropped, and so on
// until none is. Keys, value sets and orders hold in any part of a database
// that keeps them.
row_set keep_references(const std::vector<constraint>& cs, const instance& db, const row_set& rows);

// The rows of db that `rows` numbers (as above), each table's in order.
instance part_of(const instance& db, const row_set& rows);

// Whether some reference binds rows of a table, so that taking a row away
// may take others with it.
bool has_references(const std::vector<constraint>& cs);

// Puts the rows of every table that an `order` constraint names in
// ascending order, with repeats removed.
void apply_order(const std::vector<constraint>& cs, instance& db);

}  // namespace grade

#endif
