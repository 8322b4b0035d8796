// The two-thread helper: this machine class has two cores, and the large
// passes (parsing, hashing, sorting, printing) split their work in halves.
#ifndef RELALG_ENGINE_PARALLEL_H
#define RELALG_ENGINE_PARALLEL_H

#include <cstddef>
#include <functional>

// Runs a, and b on a second thread when one can be started (else after a,
// on this one). An exception from either is rethrown once both have
// finished; a's first.
void run_both(const std::function<void()>& a, const std::function<void()>& b);

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t kParallelRows = 1 << 16;

#endif
