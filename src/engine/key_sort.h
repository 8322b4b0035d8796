// Sorting 64-bit row keys: the operators that code each row as one integer
// whose order is the row order (streamed set operations, the join's coded
// output) sort those integers here.
#ifndef RELALG_ENGINE_KEY_SORT_H
#define RELALG_ENGINE_KEY_SORT_H

#include <cstdint>
#include <vector>

// Sorts keys ascending.
void sort_keys(std::vector<uint64_t>& keys);

// Sorts keys ascending and keeps each value once.
void sort_distinct_keys(std::vector<uint64_t>& keys);

#endif
