// Sorting rows by a memcmp-able encoding: each sort entry carries the first
// 24 bytes of its row's encoding inline, so most comparisons never touch
// the rows; the two halves of a large sort run on two threads.
#include "engine/row_sort.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/parallel.h"
#include "engine/row_hash.h"
#include "engine/row_order.h"

namespace {

// Rows sort by their encodings as byte strings, whose memcmp order is the
// row order: integers and the empty string are 0x01 and the biased 32-bit
// value, big-endian; other strings 0x02, the bytes with 0x00 written as
// 0x00 0xFF, and the terminator 0x00 0x00. Each cell's code is prefix-free,
// and a row that ends first sorts first. An entry carries the first 24
// bytes of its row's encoding and the encoding's length (kLong for any
// longer one); only long rows that agree on those bytes are compared cell by
// cell.
struct sort_entry {
  uint64_t p0;
  uint64_t p1;
  uint64_t p2;
  uint32_t size;
  uint32_t index;  // into the rows as given
};
constexpr uint32_t kInline = 24;
constexpr uint32_t kLong = kInline + 1;

uint64_t load_be(const unsigned char* b) {
  uint64_t p = 0;
  for (int i = 0; i < 8; ++i) p = (p << 8) | b[i];
  return p;
}

sort_entry entry_of(const rowref& r, uint32_t index) {
  // Every code starts at most at byte kInline and writes at most 5 bytes
  // before the loop looks again.
  unsigned char b[kInline + 8] = {};
  uint32_t pos = 0;
  for (uint32_t i = 0; i < r.w && pos <= kInline; ++i) {
    const cell& c = r.c[i];
    if (c.is_int() || c.n == 0) {
      const uint32_t v = static_cast<uint32_t>(c.ival()) ^ 0x80000000U;
      b[pos] = 1;
      b[pos + 1] = static_cast<unsigned char>(v >> 24);
      b[pos + 2] = static_cast<unsigned char>(v >> 16);
      b[pos + 3] = static_cast<unsigned char>(v >> 8);
      b[pos + 4] = static_cast<unsigned char>(v);
      pos += 5;
      continue;
    }
    b[pos++] = 2;
    for (uint32_t k = 0; k < c.n && pos <= kInline; ++k) {
      const auto ch = static_cast<unsigned char>(c.s[k]);
      b[pos++] = ch;
      if (ch == 0) b[pos++] = 0xFF;
    }
    if (pos <= kInline) {
      b[pos++] = 0;
      b[pos++] = 0;
    }
  }
  return {load_be(b), load_be(b + 8), load_be(b + 16), std::min(pos, kLong), index};
}

}  // namespace

void sort_unique(std::vector<rowref>& rows, bool distinct) {
  if (!distinct) keep_first_of_each(rows);
  const std::size_t n = rows.size();
  if (n < 2) return;
  if (n >= UINT32_MAX) throw std::bad_alloc();
  // Every entry is written by the fill below; not zeroing them first spares
  // a pass over the array on one thread.
  auto entries = std::make_unique_for_overwrite<sort_entry[]>(n);
  sort_entry* const e = entries.get();
  const auto fill = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) e[i] = entry_of(rows[i], static_cast<uint32_t>(i));
  };
  // A total order (ties broken by position), so the sort's result is the
  // stable one whichever way it is split.
  const auto less = [&rows](const sort_entry& a, const sort_entry& b) {
    if (a.p0 != b.p0) return a.p0 < b.p0;
    if (a.p1 != b.p1) return a.p1 < b.p1;
    if (a.p2 != b.p2) return a.p2 < b.p2;
    if (a.size != b.size) return a.size < b.size;
    if (a.size == kLong) {
      const int c = ref_order(rows[a.index], rows[b.index]);
      if (c != 0) return c < 0;
    }
    return a.index < b.index;
  };
  if (n >= kParallelRows) {
    run_both([&] { fill(0, n / 2); }, [&] { fill(n / 2, n); });
    // Split around the median of a sample and sort each side on its own
    // thread: the sides need no merging afterwards.
    std::vector<sort_entry> sample;
    for (std::size_t k = 0; k < 255; ++k) sample.push_back(e[k * n / 255]);
    const auto median = sample.begin() + 127;
    std::nth_element(sample.begin(), median, sample.end(), less);
    const sort_entry pivot = *median;
    const auto mid =
        std::partition(e, e + n, [&](const sort_entry& x) { return less(x, pivot); });
    run_both([&] { std::sort(mid, e + n, less); }, [&] { std::sort(e, mid, less); });
  } else {
    fill(0, n);
    std::sort(e, e + n, less);
  }
  // Keep only the order, so the entries are gone before the sorted list is
  // built.
  std::vector<uint32_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = e[i].index;
  entries.reset();
  // The rows are fetched in sorted order, that is at random: in halves, one
  // per thread, for many.
  std::vector<rowref> out(n);
  const auto gather = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) out[i] = rows[order[i]];
  };
  if (n >= kParallelRows) {
    run_both([&] { gather(0, n / 2); }, [&] { gather(n / 2, n); });
  } else {
    gather(0, n);
  }
  rows.swap(out);
}
