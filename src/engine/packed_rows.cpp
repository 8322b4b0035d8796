// The coding of the join's result columns, and the rows back from sorted
// keys. Integer columns are coded first, being cheap; a text column is
// coded only while the bits so far leave room for it.
#include "engine/packed_rows.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "engine/key_sort.h"
#include "engine/parallel.h"
#include "engine/row_hash.h"

namespace {

// Every row's text in column k by the rank of the text among the column's
// distinct texts, and those texts (as cells of the rows) by rank.
void rank_texts(const std::vector<rowref>& rows, uint32_t k, std::vector<uint32_t>& codes,
                std::vector<cell>& by_rank) {
  std::vector<uint64_t> slots(64, 0);  // hash << 32 | first row + 1
  std::vector<uint32_t> firsts;        // the first row of each distinct text
  codes.resize(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const cell& c = rows[r].c[k];
    if ((firsts.size() + 1) * 2 > slots.size()) {
      std::vector<uint64_t> old(slots.size() * 2, 0);
      old.swap(slots);
      for (const uint64_t v : old) {
        if (v == 0) continue;
        std::size_t s = (v >> 32) & (slots.size() - 1);
        while (slots[s] != 0) s = (s + 1) & (slots.size() - 1);
        slots[s] = v;
      }
    }
    const auto h = static_cast<uint32_t>(hash_text(c.s, c.n));
    const std::size_t mask = slots.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
      const uint64_t v = slots[s];
      if (v == 0) {
        firsts.push_back(static_cast<uint32_t>(r));
        slots[s] = (static_cast<uint64_t>(h) << 32) | firsts.size();
        codes[r] = static_cast<uint32_t>(firsts.size() - 1);
        break;
      }
      const auto id = static_cast<uint32_t>(v) - 1;
      if (static_cast<uint32_t>(v >> 32) == h && rows[firsts[id]].c[k].text() == c.text()) {
        codes[r] = id;
        break;
      }
    }
  }
  std::vector<uint32_t> order(firsts.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return rows[firsts[a]].c[k].text() < rows[firsts[b]].c[k].text();
  });
  std::vector<uint32_t> rank(order.size());
  by_rank.clear();
  for (uint32_t i = 0; i < order.size(); ++i) {
    rank[order[i]] = i;
    by_rank.push_back(rows[firsts[order[i]]].c[k]);
  }
  for (uint32_t& c : codes) c = rank[c];
}

}  // namespace

bool row_packer::code(const std::vector<relation>& leaves, const std::vector<packed_source>& sources) {
  const std::size_t w = sources.size();
  columns_.assign(w, column{});
  std::vector<std::vector<uint32_t>> codes(w);
  unsigned total = 0;
  std::vector<std::size_t> texts;
  for (std::size_t j = 0; j < w; ++j) {
    const std::vector<rowref>& rows = leaves[sources[j].leaf].rows;
    const uint32_t k = sources[j].col;
    column& c = columns_[j];
    c.is_int = rows.empty() || rows[0].c[k].is_int();
    if (!c.is_int) {
      texts.push_back(j);
      continue;
    }
    int64_t least = INT64_MAX;
    int64_t most = INT64_MIN;
    for (const rowref& r : rows) {
      least = std::min<int64_t>(least, r.c[k].v);
      most = std::max<int64_t>(most, r.c[k].v);
    }
    if (least > most) continue;
    c.least = least;
    c.bits = static_cast<unsigned>(std::bit_width(static_cast<uint64_t>(most - least)));
    total += c.bits;
    codes[j].reserve(rows.size());
    for (const rowref& r : rows) codes[j].push_back(static_cast<uint32_t>(r.c[k].v - least));
  }
  if (total > 64) return false;
  // Texts: at most as many distinct ones as rows, which bounds their bits
  // before any is ranked; ranked two columns at a time.
  for (std::size_t i = 0; i < texts.size(); i += 2) {
    const auto rank = [&](std::size_t j) {
      rank_texts(leaves[sources[j].leaf].rows, sources[j].col, codes[j], columns_[j].texts);
      const std::size_t n = columns_[j].texts.size();
      columns_[j].bits = n > 1 ? static_cast<unsigned>(std::bit_width(n - 1)) : 0;
    };
    if (i + 1 < texts.size()) {
      run_both([&] { rank(texts[i]); }, [&] { rank(texts[i + 1]); });
    } else {
      rank(texts[i]);
    }
    for (std::size_t t = i; t < std::min(i + 2, texts.size()); ++t) total += columns_[texts[t]].bits;
    if (total > 64) return false;
  }
  // The first column is the most significant.
  unsigned shift = 0;
  for (std::size_t j = w; j-- > 0;) {
    columns_[j].shift = shift;
    shift += columns_[j].bits;
  }
  parts_.assign(leaves.size(), {});
  for (std::size_t j = 0; j < w; ++j) {
    std::vector<uint64_t>& part = parts_[sources[j].leaf];
    part.resize(leaves[sources[j].leaf].rows.size(), 0);
    const unsigned s = columns_[j].shift;
    const std::vector<uint32_t>& code = codes[j];
    for (std::size_t r = 0; r < code.size(); ++r) part[r] |= s >= 64 ? 0 : static_cast<uint64_t>(code[r]) << s;
  }
  return true;
}

void row_packer::rows_of(std::vector<uint64_t>& keys, relation& out) const {
  sort_distinct_keys(keys);
  const std::size_t w = columns_.size();
  auto store = new_cells(keys.size() * w);
  out.rows.clear();
  out.rows.reserve(keys.size());
  for (const uint64_t key : keys) {
    const std::size_t at = store->size();
    for (const column& c : columns_) {
      const uint64_t x = c.bits == 0 ? 0 : (key >> c.shift) & (c.bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << c.bits) - 1);
      store->push_back(c.is_int ? cell::of_int(static_cast<int32_t>(c.least + static_cast<int64_t>(x))) : c.texts[x]);
    }
    out.rows.push_back({store->data() + at, static_cast<uint32_t>(w)});
  }
  std::vector<uint64_t>().swap(keys);
  out.owners.push_back(std::move(store));
  out.sorted = true;
}
