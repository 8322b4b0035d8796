// Reading an extended operation (join, njoin, intersect, divide) back from
// the nodes that define it (extended.h): the operands it was written with,
// for explain output, warnings and formulas, and its messages worded for
// the operation as written. Only this file and extended.cpp know the
// shapes of the definitions.
#ifndef RELALG_ENGINE_EXTENDED_CALLS_H
#define RELALG_ENGINE_EXTENDED_CALLS_H

#include <cstdint>
#include <string>

#include "engine/plan.h"

// An extended call as written.
struct written_call {
  extended_op op = extended_op::none;
  int32_t left = -1;       // the node of E1 (the first of its copies)
  int32_t right = -1;      // the node of E2
  int32_t condition = -1;  // join's condition: its root in plan::conds; else -1
};

// The call node i stands for (its origin is call), or one whose op is none
// for any other node.
written_call call_of(const plan& p, int32_t i);

// A message raised at node i, as the operation written there words it: a
// refusal of the product or the selection that define a join speaks of
// join ("join: column 'a' appears in both operands ..."). Other messages
// are returned as they are.
std::string message_as_written(const plan& p, int32_t i, std::string message);

#endif
