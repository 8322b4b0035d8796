// The key sort against std::sort, over the sizes where it changes method
// (a plain sort, one radix sort, two halves on two threads) and over keys
// that use few bits, all 64, one value, or crowd into one bucket.
#include "engine/key_sort.h"

#include <algorithm>
#include <functional>
#include <random>

#include <gtest/gtest.h>

namespace {

TEST(KeySort, SameOrderAsStdSort) {
  std::mt19937_64 rng(11);
  const std::function<uint64_t(std::size_t)> kinds[] = {
      [&](std::size_t) { return rng() % 1000; },
      [&](std::size_t) { return rng(); },
      [&](std::size_t) { return uint64_t{42}; },
      [&](std::size_t i) { return i % 3 == 0 ? uint64_t{1} << 63 : rng() % 5; },
      [&](std::size_t i) { return (uint64_t{7} << 40) | ((i * 2654435761ULL) & 0xFFFFF); },
      [&](std::size_t i) { return static_cast<uint64_t>(200000 - i); },
  };
  for (const std::size_t n : {0, 1, 2, 4095, 4096, 5000, 65535, 65536, 200000}) {
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
      std::vector<uint64_t> keys(n);
      for (std::size_t i = 0; i < n; ++i) keys[i] = kinds[k](i);
      std::vector<uint64_t> want = keys;
      std::sort(want.begin(), want.end());
      std::vector<uint64_t> got = keys;
      sort_keys(got);
      ASSERT_EQ(got, want) << "n " << n << " kind " << k;
      want.erase(std::unique(want.begin(), want.end()), want.end());
      sort_distinct_keys(keys);
      ASSERT_EQ(keys, want) << "n " << n << " kind " << k;
    }
  }
}

}  // namespace
