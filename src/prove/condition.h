// Conditions as formulas over the output row, and formulas in disjunctive
// normal form.
//
// A comparison reads its operands as the language does: a literal is a
// constant; a column name is the last column bearing it, or the integer 0
// when there is none. It becomes a formula over comparisons of one kind:
// - two constants: decided at once (true or false), by the language's
//   comparison of the two values;
// - operands of one kind: EQ eq, NEQ ne, LT lt, LTE le, GT and GTE the same
//   with the operands swapped;
// - an integer n and a string s (in either order), by the mixed-kind rules:
//   EQ is n = 0 AND s = '' (the left operand's part first), NEQ is n != 0 OR
//   s != '' (likewise), and LT, LTE, GT, GTE each one comparison of n with 0,
//   or true, or false (see condition.cpp);
// a part that compares two constants is decided at once. An unknown keyword
// is true. The numbering of disjuncts depends on this shape, so the
// certificate's checker builds the same.
//
// The normal form of a formula, with NOT pushed down to the leaves: true is
// one empty conjunction, false none; AND of P and Q gives, for each
// conjunction of P (outer), each of Q (inner), their concatenation; OR gives
// P's conjunctions then Q's. Under a NOT, AND and OR trade places.
#ifndef RELALG_PROVE_CONDITION_H
#define RELALG_PROVE_CONDITION_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "prove/form.h"

namespace prove {

// A query the prover does not decide: why, in words a teacher can read.
struct outside : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Adds to f the formula of the condition p.cond(root) over an operand with
// these columns and kinds, and returns its node.
int32_t translate_condition(const plan& p, int32_t root, const std::vector<std::string>& colnames,
                            const std::vector<kind>& kinds, formula& f);

// A comparison of two operands with the given relation, as a leaf, or true
// or false when both are constants.
int32_t comparison_node(formula& f, rel r, operand a, operand b);

// The relation that holds exactly when `l` does not.
leaf negate(leaf l);

// The normal form of node `root` of f (of its negation when `negated`).
// Throws outside when it would hold more than `limit` conjunctions.
dnf to_dnf(const formula& f, int32_t root, bool negated, std::size_t limit);

}  // namespace prove

#endif
