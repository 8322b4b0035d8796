// A query read as the patterns of rows it looks for: each branch is one
// way a result row can arise, as in a conjunctive query, with one atom per
// table occurrence (a variable per column), the comparisons its conditions
// impose on variables and constants, and the terms of the result row. OR
// splits a branch, NOT is pushed down to the comparisons, a union gives
// the branches of both operands, and a difference the branches of its left
// operand and, beside them, branches where a row of its right operand
// matches one of the left (the rows the difference should remove).
//
// Building databases from these patterns needs no exactness: every
// database built is evaluated by the program itself, so a shape that misses
// a rule of the language only makes a database less telling, never a
// verdict wrong.
#ifndef RELALG_GRADE_QUERY_SHAPE_H
#define RELALG_GRADE_QUERY_SHAPE_H

#include <cstddef>
#include <string>
#include <vector>

#include "grade/instance.h"

namespace grade {

struct shape_term {
  bool is_var = true;
  std::size_t var = 0;
  value constant;

  static shape_term of_var(std::size_t v) { return shape_term{true, v, {}}; }
  static shape_term of_value(value c) { return shape_term{false, 0, std::move(c)}; }
};

enum class shape_op { eq, neq, lt, lte, gt, gte };

// The comparison that holds exactly when `op` does not.
shape_op negated(shape_op op);

struct shape_cond {
  shape_op op = shape_op::eq;
  shape_term a, b;
};

// A table occurrence: variables first_var .. first_var + width - 1 stand
// for its columns.
struct shape_atom {
  std::size_t table = 0;
  std::size_t first_var = 0;
};

struct query_branch {
  std::vector<shape_atom> atoms;
  std::size_t vars = 0;
  std::vector<shape_cond> conds;
  std::vector<shape_term> head;
  bool removal = false;  // a row a difference's right operand takes away
};

struct query_shape {
  std::vector<query_branch> branches;
  bool complete = false;  // every part of the query was read
};

// At most this many branches are kept for a query.
constexpr std::size_t kMostBranches = 64;

// The shape of a query over a schema; empty when it cannot be read (an
// unknown table, a product that fails, nesting too deep to walk). With
// `extended`, the query may use join, njoin, intersect and divide.
query_shape shape_of(const std::string& query, const schema& sch, bool extended = false);

// The table and column a variable of a branch stands for.
struct var_place {
  std::size_t table = 0;
  std::size_t column = 0;
};
var_place place_of(const query_branch& b, const schema& sch, std::size_t var);

}  // namespace grade

#endif
