// What every way of building a database draws on: the teacher's databases
// and their constraints, the shapes of the two queries, the values each
// column takes in the teacher's data and the constants the queries compare
// it with; and the operations that keep a built database valid: changing a
// key value together with the rows that refer to it, adding the rows a
// reference asks for (the teacher's own rows where they fit), and making a
// new row differ from the others on every key.
#ifndef RELALG_GRADE_BUILD_CONTEXT_H
#define RELALG_GRADE_BUILD_CONTEXT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "grade/constraints.h"
#include "grade/exercise_facts.h"
#include "grade/instance.h"
#include "grade/query_shape.h"

namespace grade {

// A small deterministic generator (splitmix64).
class build_rng {
 public:
  explicit build_rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

// The nearest values around a constant of a column's kind: k - 1 and k + 1
// for an integer; for a text, one just below and one just above in byte
// order that a row line can hold (none when there is none).
std::vector<value> neighbours(const value& k);

class build_context {
 public:
  // Over facts.dbs[0]'s schema; `queries` are the reference's and the
  // submission's.
  build_context(const exercise_facts& facts, const std::vector<std::string>& queries, std::uint64_t seed);

  const schema& sch() const { return facts_.dbs[0].sch; }
  // The teacher's database built ones start from (see build_ground).
  const instance& base() const { return facts_.ground->base(); }
  const std::vector<constraint>& constraints() const { return facts_.constraints; }
  const std::vector<query_shape>& shapes() const { return shapes_; }
  build_rng& rng() { return rng_; }

  // Tables either query names (all tables when a query cannot be read).
  bool used(std::size_t t) const { return used_[t]; }
  // Values of a column in the teacher's databases, ascending.
  const std::vector<value>& seen(std::size_t t, std::size_t c) const { return facts_.ground->seen(t, c); }
  // Constants the queries compare the column with, ascending.
  const std::vector<value>& constants(std::size_t t, std::size_t c) const { return constants_[t][c]; }
  // The values a column may take (a values constraint), or null.
  const std::vector<value>* allowed(std::size_t t, std::size_t c) const { return allowed_[t][c]; }
  // Values to draw a cell from: the constants, their neighbours, the
  // teacher's values of the column and of the columns compared with it.
  const std::vector<value>& pool(std::size_t t, std::size_t c) const { return pool_[t][c]; }
  bool admissible(std::size_t t, std::size_t c, const value& v) const;

  // A value for column c of table t that no row of db holds there.
  std::optional<value> fresh(const instance& db, std::size_t t, std::size_t c);

  // Sets a cell; when the column is a reference's target, the cells that
  // refer to the old value change with it, so that the same thing is
  // called otherwise everywhere.
  void set_value(instance& db, std::size_t t, std::size_t r, std::size_t c, const value& v);

  // Appends a row; the teacher's line is kept with it when it has one.
  static void add_row(instance& db, std::size_t t, row_values row, std::string line = {});

  // Makes row r of table t differ from every other row on every key, by
  // fresh values in key columns other than `keep`; false when it cannot.
  bool distinct_keys(instance& db, std::size_t t, std::size_t r, const std::vector<std::size_t>& keep);

  // Adds the rows references ask for, drops rows held twice where keys
  // forbid them, orders tables, and checks every constraint. False when
  // the database cannot be made valid.
  bool repair(instance& db);

  // An empty database of the schema (every table without rows).
  instance empty() const;

 private:
  bool add_partner(instance& db, const constraint& c, const value& v);

  const exercise_facts& facts_;
  std::vector<query_shape> shapes_;
  build_rng rng_;
  std::vector<bool> used_;
  std::vector<std::vector<std::vector<value>>> constants_, pool_;
  std::vector<std::vector<const std::vector<value>*>> allowed_;
};

}  // namespace grade

#endif
