// The cases that "every row of query A is a row of query B" comes down to.
//
// A row r is in A and not in B exactly when, for some conjunction of A's
// formula (in normal form) and some conjunction of the negation of B's,
// every leaf holds of r. Such a pair of conjunctions names memberships that
// must hold (each through one disjunct of its union: a choice), memberships
// that must not, and comparisons. For each choice, the disjuncts chosen,
// their heads put on r's positions, and the comparisons make one conjunct W
// (compacted: it may turn out dead). The case holds on some database when,
// in some preorder of W's terms, none of the memberships that must not hold
// maps into W (match.h); W's atoms under that preorder are then the
// database. A is contained in B when no case holds.
//
// Cases are numbered by (i, j, choices): i the conjunction of A's formula,
// j of the negation of B's (with no B, the one empty conjunction), choices
// one disjunct per membership that must hold, A's leaves before B's, in
// lexicographic order. W's atoms are the chosen disjuncts' atoms in that
// order; W's first terms are r's positions.
#ifndef RELALG_PROVE_CASES_H
#define RELALG_PROVE_CASES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "prove/form.h"

namespace prove {

// A membership that must not hold: these terms of W are no row of u.
struct negative {
  const ucq* u = nullptr;
  std::vector<int32_t> args;
};

struct proof_case {
  std::size_t i = 0, j = 0;
  std::vector<int32_t> choices;
  conjunct w;
  std::vector<int32_t> output;  // the term of W at each position of r
  std::vector<negative> negatives;
};

// Visits every case of "a in b" (b null: "a has no rows") whose W is not
// dead, until visit returns false; returns false then. Throws outside
// when there would be more than `limit` cases or conjunctions.
bool each_case(const query_form& a, const query_form* b, std::size_t limit,
               const std::function<bool(proof_case&)>& visit);

}  // namespace prove

#endif
