// From a plan to what the prover reads (form.h): each part of the query
// without minus becomes a union of conjunctive queries, and the operations
// above a minus become a formula over memberships in them: minus is
// "in the left AND NOT in the right", union OR, product AND (each side on
// its columns of the product's layout), selection AND with its condition.
//
// Only queries whose every operation the prover models exactly are read;
// for any other it throws outside with the reason: a projection above a
// minus (equivalence is undecidable there), union or minus of operands whose
// columns differ in number or kind (rows of other widths or columns mixing
// integers and strings), a condition too large to expand.
#ifndef RELALG_PROVE_NORMALIZE_H
#define RELALG_PROVE_NORMALIZE_H

#include <cstddef>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "engine/schema.h"
#include "prove/condition.h"
#include "prove/form.h"

namespace prove {

// The kind of a column with this type word: `int` exactly is an integer.
kind kind_of_type(const std::string& type_word);

// Reads p, whose nodes all have a result (schemas[p.root].ok). `limit`
// bounds the disjuncts of any union and the conjunctions of any condition.
query_form normalize(const plan& p, const std::vector<node_schema>& schemas, std::size_t limit);

}  // namespace prove

#endif
