// The hashing passes: a distinct-count estimate to size the sets, the split
// of the hash space over two threads, and the two collapses built on them.
#include "engine/row_hash.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>

#include "engine/parallel.h"

namespace {

// About how many distinct values a list of hashes holds (HyperLogLog with
// 1024 registers, within a few percent), merged from estimates of its pieces.
class distinct_estimate {
 public:
  void add(uint32_t h) {
    const uint32_t rest = (h << kBits) | (1U << (kBits - 1));  // never all zero
    const auto rank = static_cast<uint8_t>(std::countl_zero(rest) + 1);
    uint8_t& r = reg_[h >> (32 - kBits)];
    if (rank > r) r = rank;
  }
  void merge(const distinct_estimate& o) {
    for (std::size_t i = 0; i < reg_.size(); ++i) reg_[i] = std::max(reg_[i], o.reg_[i]);
  }
  std::size_t count() const {
    const double m = static_cast<double>(reg_.size());
    double sum = 0;
    std::size_t zeros = 0;
    for (const uint8_t r : reg_) {
      sum += std::ldexp(1.0, -r);
      zeros += r == 0 ? 1 : 0;
    }
    double e = 0.7213 / (1 + 1.079 / m) * m * m / sum;
    if (e <= 2.5 * m && zeros > 0) e = m * std::log(m / static_cast<double>(zeros));
    return static_cast<std::size_t>(e);
  }

 private:
  static constexpr int kBits = 10;
  std::array<uint8_t, 1U << kBits> reg_{};
};

// Hashes rows 0..count-1 (hash_of(position)) and hands the hashes to
// collapse(hash, mask, want, half, expect), which takes the rows whose
// hash & mask is want, about `expect` of them distinct. Equal rows hash
// alike, so the two halves of the hash space are collapsed apart, one per
// thread (half 0 and half 1); few rows are collapsed at once (mask 0,
// half 0).
template <class HashOf, class Collapse>
void collapse_by_hash(std::size_t count, const HashOf& hash_of, const Collapse& collapse) {
  if (count >= UINT32_MAX) throw std::bad_alloc();
  std::vector<uint32_t> hash(count);
  distinct_estimate seen[2];
  const auto hash_rows = [&](std::size_t from, std::size_t to, distinct_estimate& est) {
    for (std::size_t p = from; p < to; ++p) {
      hash[p] = hash_of(p);
      est.add(hash[p]);
    }
  };
  if (count >= kParallelRows) {
    run_both([&] { hash_rows(0, count / 2, seen[0]); },
             [&] { hash_rows(count / 2, count, seen[1]); });
    seen[0].merge(seen[1]);
    // A little over half each, so that a fair split needs no regrowth.
    const std::size_t expect = seen[0].count() / 2 + seen[0].count() / 16;
    run_both([&] { collapse(hash, 1U << 31, 0U, 0, expect); },
             [&] { collapse(hash, 1U << 31, 1U << 31, 1, expect); });
  } else {
    // Few rows: the table starts small and grows as it needs.
    hash_rows(0, count, seen[0]);
    collapse(hash, 0U, 0U, 0, std::min<std::size_t>(count, 512));
  }
}

}  // namespace

void keep_first_of_each(std::vector<rowref>& rows, const std::vector<rowref>* drop) {
  const whole_row view;
  const std::size_t n = rows.size();
  const std::size_t nd = drop != nullptr ? drop->size() : 0;
  const std::size_t all = n + nd;
  // Position p < n is rows[p]; the rows of drop follow.
  const auto row_at = [&](std::size_t p) -> const rowref& {
    return p < n ? rows[p] : (*drop)[p - n];
  };
  std::vector<unsigned char> first(n);
  const auto collapse = [&](const std::vector<uint32_t>& hash, uint32_t mask, uint32_t want, int,
                            std::size_t expect) {
    row_set seen(expect);
    // Rows are taken in this order: drop's, then the given ones.
    const auto position = [&](std::size_t k) { return k < nd ? n + k : k - nd; };
    // The likely match of the row taken at step k, if any.
    const auto match = [&](std::size_t k) -> const rowref* {
      if (k >= all) return nullptr;
      const uint32_t h = hash[position(k)];
      if ((h & mask) != want) return nullptr;
      const uint32_t q = seen.peek(h);
      return q == row_set::kNone ? nullptr : &row_at(q);
    };
    for (std::size_t k = 0; k < all; ++k) {
      // A repeat is checked against a row stored at random: its reference,
      // cells and texts are fetched in stages over the next steps, each
      // stage once the one before is likely in cache.
      if (k + 16 < all && (hash[position(k + 16)] & mask) == want) {
        seen.prefetch(hash[position(k + 16)]);
      }
      if (const rowref* m = match(k + 8)) __builtin_prefetch(m);
      if (const rowref* m = match(k + 4)) __builtin_prefetch(m->c);
      if (const rowref* m = match(k + 2)) {
        for (uint32_t i = 0; i < m->w && i < 4; ++i) {
          if (m->c[i].s != nullptr) __builtin_prefetch(m->c[i].s);
        }
      }
      const std::size_t p = position(k);
      if ((hash[p] & mask) != want) continue;
      const rowref& r = row_at(p);
      const uint32_t at = seen.find_or_add(hash[p], static_cast<uint32_t>(p), [&](uint32_t q) {
        return same_row(row_at(q), r, view);
      });
      if (p < n) first[p] = at == row_set::kAdded;
    }
  };
  collapse_by_hash(all, [&](std::size_t p) { return hash_row(row_at(p), view); }, collapse);
  std::size_t kept = 0;
  for (std::size_t p = 0; p < n; ++p) {
    if (first[p] != 0) rows[kept++] = rows[p];
  }
  rows.resize(kept);
}

// The cut rows are compared against compact copies of the distinct ones
// rather than against the scattered rows they came from, which matters when
// many rows repeat a few.
std::vector<rowref> distinct_cuts(const std::vector<rowref>& rows, const std::vector<int>& idx,
                                  std::vector<std::shared_ptr<const void>>& owners) {
  const cut_row cut{idx};
  const std::size_t n = rows.size();
  const auto w = static_cast<uint32_t>(cut.idx.size());
  std::shared_ptr<std::vector<cell>> store[2];
  const auto collapse = [&](const std::vector<uint32_t>& hash, uint32_t mask, uint32_t want,
                            int half, std::size_t expect) {
    store[half] = std::make_shared<std::vector<cell>>();
    std::vector<cell>& cells = *store[half];
    row_set seen(expect);
    uint32_t kept = 0;
    for (std::size_t p = 0; p < n; ++p) {
      if (p + 8 < n && (hash[p + 8] & mask) == want) seen.prefetch(hash[p + 8]);
      if ((hash[p] & mask) != want) continue;
      const rowref& r = rows[p];
      const uint32_t at = seen.find_or_add(hash[p], kept, [&](uint32_t q) {
        const cell* c = cells.data() + static_cast<std::size_t>(q) * w;
        for (uint32_t k = 0; k < w; ++k) {
          if (!cell_eq(c[k], cut.at(r, k))) return false;
        }
        return true;
      });
      if (at != row_set::kAdded) continue;
      for (uint32_t k = 0; k < w; ++k) cells.push_back(cut.at(r, k));
      ++kept;
    }
  };
  collapse_by_hash(n, [&](std::size_t p) { return hash_row(rows[p], cut); }, collapse);
  std::vector<rowref> out;
  for (auto& cells : store) {
    if (!cells) continue;
    for (std::size_t i = 0; i < cells->size(); i += w) out.push_back({cells->data() + i, w});
    owners.push_back(std::move(cells));
  }
  return out;
}
