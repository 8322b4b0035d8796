// Sorting rows by a memcmp-able encoding: each sort entry carries the first
// 24 bytes of its row's encoding inline, so most comparisons never touch
// the rows; the two halves of a large sort run on two threads.
#include "engine/row_sort.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
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
// Below this many rows, coding texts by rank costs more than it saves.
constexpr std::size_t kRankedRows = 1 << 12;

uint64_t load_be(const unsigned char* b) {
  uint64_t p = 0;
  for (int i = 0; i < 8; ++i) p = (p << 8) | b[i];
  return p;
}

// The distinct non-empty texts of one column, when there are few of them
// against the rows, by rank in byte order. A text of such a column is coded
// by its rank (0x02 and three bytes) instead of its bytes, so that the
// prefix of an entry holds more cells and rows that share long texts do not
// fall back to comparing them.
class text_ranks {
 public:
  // Reads column k of rows; false (and no ranks) when the column holds no
  // text, or too many distinct ones for ranks to pay.
  bool build(const std::vector<rowref>& rows, uint32_t k) {
    const std::size_t n = rows.size();
    const std::size_t most = std::min<std::size_t>(n / 8, (std::size_t{1} << 24) - 2);
    std::size_t cap = 64;
    slots_.assign(cap, slot{});
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (rows[i].w <= k) continue;
      const cell& c = rows[i].c[k];
      if (c.is_int() || c.n == 0) continue;
      if (find(c, true) != nullptr) continue;
      if (++count > most || (i == 4095 && count > 1024)) return false;
      if (count * 2 > cap) {
        cap *= 2;
        rehash(cap);
      }
      insert(c);
    }
    if (count == 0) return false;
    std::vector<slot*> order;
    for (slot& s : slots_) {
      if (s.text != nullptr) order.push_back(&s);
    }
    std::sort(order.begin(), order.end(), [](const slot* a, const slot* b) {
      return std::string_view(a->text, a->n) < std::string_view(b->text, b->n);
    });
    for (std::size_t r = 0; r < order.size(); ++r) order[r]->rank = static_cast<uint32_t>(r + 1);
    return true;
  }
  uint32_t rank(const cell& c) const { return find(c, false)->rank; }

 private:
  struct slot {
    const char* text = nullptr;
    uint32_t n = 0;
    uint32_t hash = 0;
    uint32_t rank = 0;
  };
  const slot* find(const cell& c, bool) const {
    const auto h = static_cast<uint32_t>(hash_text(c.s, c.n));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
      const slot& s = slots_[i];
      if (s.text == nullptr) return nullptr;
      if (s.hash == h && s.n == c.n && std::memcmp(s.text, c.s, c.n) == 0) return &s;
    }
  }
  void insert(const cell& c) {
    const auto h = static_cast<uint32_t>(hash_text(c.s, c.n));
    place({c.s, c.n, h, 0});
  }
  void place(const slot& v) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = v.hash & mask;
    while (slots_[i].text != nullptr) i = (i + 1) & mask;
    slots_[i] = v;
  }
  void rehash(std::size_t cap) {
    std::vector<slot> old(cap);
    old.swap(slots_);
    for (const slot& s : old) {
      if (s.text != nullptr) place(s);
    }
  }

  std::vector<slot> slots_;
};

// The columns whose texts are coded by rank (null where they are not).
using column_ranks = std::vector<const text_ranks*>;

// How many leading columns may be worth coding by rank: those up to where a
// sample of the rows already tells its rows apart (later columns then
// rarely decide an order), and no more than the prefix holds.
uint32_t ranked_columns(const std::vector<rowref>& rows) {
  const uint32_t width = std::min<uint32_t>(rows[0].w, 8);
  constexpr std::size_t kSample = 4096;
  const std::size_t n = rows.size();
  const std::size_t step = std::max<std::size_t>(1, n / kSample);
  std::vector<uint64_t> prefix;
  for (std::size_t i = 0; i < n; i += step) prefix.push_back(0);
  for (uint32_t k = 0; k < width; ++k) {
    std::vector<uint64_t> seen = prefix;
    std::sort(seen.begin(), seen.end());
    const auto distinct = static_cast<std::size_t>(std::unique(seen.begin(), seen.end()) - seen.begin());
    if (distinct * 10 >= prefix.size() * 9) return k;
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; i += step, ++at) {
      const rowref& r = rows[i];
      const uint64_t h = k < r.w ? hash_cell(r.c[k]) : 0x51ED270B27A8ULL;
      prefix[at] = (prefix[at] ^ h) * 0x9E3779B97F4A7C15ULL + k;
    }
  }
  return width;
}

sort_entry entry_of(const rowref& r, uint32_t index, const column_ranks& ranks) {
  // Every code starts at most at byte kInline and writes at most 5 bytes
  // before the loop looks again.
  unsigned char b[kInline + 8] = {};
  uint32_t pos = 0;
  for (uint32_t i = 0; i < r.w && pos <= kInline; ++i) {
    const cell& c = r.c[i];
    if (!c.is_int() && c.n > 0 && i < ranks.size() && ranks[i] != nullptr) {
      const uint32_t v = ranks[i]->rank(c);
      b[pos] = 2;
      b[pos + 1] = static_cast<unsigned char>(v >> 16);
      b[pos + 2] = static_cast<unsigned char>(v >> 8);
      b[pos + 3] = static_cast<unsigned char>(v);
      pos += 4;
      continue;
    }
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

// Whether nearly all of many rows are distinct, judged from the pairs of
// equal rows in a sample.
bool mostly_distinct(const std::vector<rowref>& rows) {
  const std::size_t n = rows.size();
  constexpr std::size_t kSample = 16384;
  if (n < 4 * kSample) return false;
  std::vector<uint32_t> hashes;
  hashes.reserve(kSample);
  for (std::size_t k = 0; k < kSample; ++k) {
    // A sample spread over the rows, not their start (often one operand).
    const std::size_t i = (k * 2654435761ULL) % n;
    hashes.push_back(hash_row(rows[i], whole_row{}));
  }
  std::sort(hashes.begin(), hashes.end());
  std::size_t pairs = 0;
  for (std::size_t k = 1, run = 1; k <= hashes.size(); ++k) {
    if (k < hashes.size() && hashes[k] == hashes[k - 1]) {
      ++run;
    } else {
      pairs += run * (run - 1) / 2;
      run = 1;
    }
  }
  // Each pair of equal rows in the sample stands for about (n/s)^2 pairs
  // among all rows, and where rows repeat a few times each such pair is a
  // row the hashing would drop.
  const double ratio = static_cast<double>(n) / kSample;
  const double dropped = static_cast<double>(pairs) * ratio * ratio;
  return dropped <= 0.15 * static_cast<double>(n);
}

}  // namespace

void sort_unique(std::vector<rowref>& rows, bool distinct) {
  // Repeats are dropped by hashing before the sort, which then sorts fewer
  // rows; but when most rows are distinct that pass buys nothing, and the
  // repeats are dropped after the sort instead, where they stand together
  // (equal rows have equal codes, and keep their order).
  bool after = false;
  if (!distinct) {
    after = mostly_distinct(rows);
    if (!after) keep_first_of_each(rows);
  }
  const std::size_t n = rows.size();
  if (n < 2) return;
  if (n >= UINT32_MAX) throw std::bad_alloc();
  // Every entry is written by the fill below; not zeroing them first spares
  // a pass over the array on one thread.
  // Columns of few distinct texts are coded by rank: for many rows, the
  // columns of the first row, a few at most (the prefix holds no more).
  std::vector<text_ranks> dictionaries;
  column_ranks ranks;
  if (n >= kRankedRows) {
    const uint32_t width = ranked_columns(rows);
    dictionaries.resize(width);
    ranks.assign(width, nullptr);
    const auto build = [&](uint32_t from, uint32_t step) {
      for (uint32_t k = from; k < width; k += step) {
        if (dictionaries[k].build(rows, k)) ranks[k] = &dictionaries[k];
      }
    };
    if (n >= kParallelRows && width > 1) {
      run_both([&] { build(0, 2); }, [&] { build(1, 2); });
    } else {
      build(0, 1);
    }
  }
  auto entries = std::make_unique_for_overwrite<sort_entry[]>(n);
  sort_entry* const e = entries.get();
  const auto fill = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) e[i] = entry_of(rows[i], static_cast<uint32_t>(i), ranks);
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
  if (after) {
    std::size_t kept = 1;
    for (std::size_t i = 1; i < n; ++i) {
      if (!ref_equal(out[kept - 1], out[i])) out[kept++] = out[i];
    }
    out.resize(kept);
  }
  rows.swap(out);
}
