// What evaluation tells a watcher (explain, trace) about each plan node.
#ifndef RELALG_ENGINE_OBSERVER_H
#define RELALG_ENGINE_OBSERVER_H

#include <cstdint>

#include "engine/relation.h"

struct eval_observer {
  virtual ~eval_observer() = default;
  // The node is done: its result (whose rows are still valid during the
  // call only) and the time it took, its operands included.
  virtual void finished(int32_t node, const relation& result, double seconds) = 0;
  // Evaluation failed in this node.
  virtual void failed(int32_t node) = 0;
};

#endif
