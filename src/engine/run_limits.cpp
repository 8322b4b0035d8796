// The default memory budget, from the machine's physical memory.
#include "engine/run_limits.h"

#include <unistd.h>

std::size_t default_memory_budget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return SIZE_MAX;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page) / 2;
}
