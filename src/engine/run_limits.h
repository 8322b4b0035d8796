// What a run may build: limits that travel with each evaluation as options.
#ifndef RELALG_ENGINE_RUN_LIMITS_H
#define RELALG_ENGINE_RUN_LIMITS_H

#include <cstddef>
#include <cstdint>

struct eval_limits {
  // A product is refused before it builds more rows than this (--max-rows).
  std::size_t row_limit = SIZE_MAX;
  // ... or more than fit in this many bytes (a share of physical memory).
  std::size_t memory_budget = SIZE_MAX;
};

// Half of this machine's physical memory, the default memory budget.
std::size_t default_memory_budget();

#endif
