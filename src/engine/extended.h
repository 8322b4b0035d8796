// The extended operations written out in the six. The reader makes a
// node for each njoin, intersect and divide call with its two operands
// below it (join it reads as a selection over a product itself); this step
// replaces each such node by the nodes of its definition, which depend on
// the operands' headers:
//
//   njoin(E1,E2)     project(select(product(E1, rename(E2, N(..., s', ...))),
//                            AND(EQ(s, s'), ...)), every column once, by name)
//                    for the names s the operands share, E2's renamed apart
//                    (product(E1,E2) when they share none)
//   intersect(E1,E2) rename(minus(E1, minus(E1, E2)), N(c1,...,cn)), N(c1..cn)
//                    E1's header, so that the result keeps E1's name
//   divide(E1,E2)    minus(project(E1,X),
//                          project(minus(project(product(project(E1,X), E2), A), E1), X))
//                    with A E1's columns and X those not in E2, in E1's order
//
// An operand used twice or three times is copied. A call its operands'
// headers refuse (repeated column names; a divisor column the dividend
// lacks) becomes a fail node over the two operands, which are evaluated
// first, as they would be before the operation is applied.
#ifndef RELALG_ENGINE_EXTENDED_H
#define RELALG_ENGINE_EXTENDED_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/plan.h"

// Writes out each node of `calls` (an njoin, intersect or divide the reader
// left with its operands as `left` and `right`; `op` and `arg` unused),
// then renumbers the plan's nodes so that each comes before its operands
// again, in the order a reader would have made them. Calls nested in
// other calls' operands are written out first. A plan whose copies would
// grow past a bound (an operand copied in calls nested in its copies
// grows exponentially) fails at the call that reaches it, with a message.
void define_extended(plan& p, const std::vector<int32_t>& calls);

// A name for a column renamed apart: `name` followed by as many
// apostrophes as make it none of `taken`.
std::string fresh_name(const std::string& name, const std::vector<std::string>& taken);

#endif
