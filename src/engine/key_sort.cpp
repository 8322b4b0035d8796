// Sorting 64-bit keys by their digits, least significant first (a radix
// sort: a few linear passes instead of n log n comparisons), over only the
// bits some key sets: coded rows rarely use more than a few dozen. Small
// arrays take std::sort; large ones are split at a value near their median
// and each side sorted on its own thread.
#include "engine/key_sort.h"

#include <algorithm>
#include <bit>

#include "engine/parallel.h"

namespace {

constexpr unsigned kDigit = 11;
constexpr std::size_t kBuckets = std::size_t{1} << kDigit;
constexpr std::size_t kRadixKeys = 1 << 12;

// Sorts [keys, keys + n), with other as room for as many.
void radix(uint64_t* keys, uint64_t* other, std::size_t n) {
  if (n < kRadixKeys) {
    std::sort(keys, keys + n);
    return;
  }
  uint64_t used = 0;
  for (std::size_t i = 0; i < n; ++i) used |= keys[i];
  const auto bits = static_cast<unsigned>(std::bit_width(used));
  std::vector<std::size_t> at(kBuckets);
  uint64_t* from = keys;
  uint64_t* to = other;
  for (unsigned shift = 0; shift < bits; shift += kDigit) {
    std::fill(at.begin(), at.end(), 0);
    for (std::size_t i = 0; i < n; ++i) ++at[(from[i] >> shift) & (kBuckets - 1)];
    // A digit every key shares moves nothing.
    if (at[(from[0] >> shift) & (kBuckets - 1)] == n) continue;
    std::size_t sum = 0;
    for (std::size_t& a : at) {
      const std::size_t c = a;
      a = sum;
      sum += c;
    }
    for (std::size_t i = 0; i < n; ++i) to[at[(from[i] >> shift) & (kBuckets - 1)]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys) std::copy(from, from + n, keys);
}

}  // namespace

void sort_keys(std::vector<uint64_t>& keys) {
  const std::size_t n = keys.size();
  std::vector<uint64_t> other(n);
  if (n < kParallelRows) {
    radix(keys.data(), other.data(), n);
    return;
  }
  // The split: the first value of the top digit's bucket that holds the
  // middle key; every key below it goes left.
  uint64_t used = 0;
  for (const uint64_t k : keys) used |= k;
  const auto bits = static_cast<unsigned>(std::bit_width(used));
  const unsigned shift = bits > kDigit ? bits - kDigit : 0;
  std::vector<std::size_t> count(kBuckets, 0);
  for (const uint64_t k : keys) ++count[(k >> shift) & (kBuckets - 1)];
  std::size_t below = 0;
  std::size_t b = 0;
  while (b < kBuckets && below + count[b] <= n / 2) below += count[b++];
  const uint64_t pivot = static_cast<uint64_t>(b) << shift;
  const auto mid = static_cast<std::size_t>(
      std::partition(keys.begin(), keys.end(), [&](uint64_t k) { return k < pivot; }) - keys.begin());
  run_both([&] { radix(keys.data(), other.data(), mid); },
           [&] { radix(keys.data() + mid, other.data() + mid, n - mid); });
}

void sort_distinct_keys(std::vector<uint64_t>& keys) {
  sort_keys(keys);
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}
