// Union and difference of two tables, read straight from their row lines:
// each row becomes one 64-bit key whose order is the row order (every
// integer column coded by its offset from the column's least value, every
// text column by the rank of its text among the column's distinct texts),
// the keys are sorted, and the distinct rows are printed from them. The
// tables are never built, and sorting integers is far cheaper than sorting
// rows. Rows that print alike are equal here (every column holds one kind),
// so which of equal rows stays does not matter.
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstring>
#include <string_view>

#include "engine/key_sort.h"
#include "engine/parallel.h"
#include "engine/row_hash.h"
#include "engine/row_text.h"
#include "engine/stream.h"

namespace {

// The distinct texts of one column met by one thread, by first meeting.
class text_ids {
 public:
  text_ids() : slots_(32) {}
  uint32_t id(std::string_view t) {
    const auto h = static_cast<uint32_t>(hash_text(t.data(), t.size()));
    const auto next = static_cast<uint32_t>(texts_.size());
    const uint32_t at = slots_.find_or_add(h, next, [&](uint32_t q) { return texts_[q] == t; });
    if (at != slot_table::kAdded) return at;
    texts_.push_back(t);
    return next;
  }
  const std::vector<std::string_view>& texts() const { return texts_; }

 private:
  slot_table slots_;
  std::vector<std::string_view> texts_;
};

// What one thread reads: for each row of each table, one value per column
// (an integer, or the id of a text), and the least and greatest integers.
struct reading {
  std::vector<uint32_t> values[2];
  std::vector<text_ids> ids;
  std::vector<int64_t> least;
  std::vector<int64_t> most;
};

struct column_code {
  bool is_int = false;
  int64_t least = 0;
  unsigned bits = 0;
  std::vector<std::string_view> texts;  // by rank
};

bool pending_table(const plan& p, int32_t i) {
  const plan_node& n = p.node(i);
  return n.op == plan_op::table && !p.table_of(n).parsed();
}

}  // namespace

bool set_shape(const plan& p) {
  const plan_node& n = p.node(p.root);
  if (n.op != plan_op::union_ && n.op != plan_op::minus) return false;
  if (!pending_table(p, n.left) || !pending_table(p, n.right)) return false;
  const stored_table& a = p.table_of(p.node(n.left));
  const stored_table& b = p.table_of(p.node(n.right));
  // Rows of other widths, or columns of other kinds, compare by rules the
  // keys do not hold.
  return a.width() > 0 && a.width() == b.width() && int_columns(a.coltypes) == int_columns(b.coltypes);
}

bool stream_sets(const plan& p, const std::vector<node_schema>& schemas, std::string& buf,
                 const spill_fn& spill) {
  const plan_node& root = p.node(p.root);
  const bool minus = root.op == plan_op::minus;
  const stored_table* tables[2] = {&p.table_of(p.node(root.left)), &p.table_of(p.node(root.right))};
  const std::vector<bool> is_int = int_columns(tables[0]->coltypes);
  const std::size_t w = is_int.size();

  // Read every row line, in pieces, on two threads.
  constexpr std::size_t kPiece = 1 << 20;
  struct piece {
    int side;
    std::string_view text;
  };
  std::vector<piece> pieces;
  for (int side = 0; side < 2; ++side) {
    const std::string_view lines = tables[side]->pending();
    for (std::size_t from = 0; from < lines.size();) {
      const std::size_t to = piece_end(lines, from, kPiece);
      pieces.push_back({side, lines.substr(from, to - from)});
      from = to;
    }
  }
  reading readings[2];
  for (reading& r : readings) {
    r.ids.resize(w);
    r.least.assign(w, INT64_MAX);
    r.most.assign(w, INT64_MIN);
  }
  std::atomic<std::size_t> next{0};
  const auto read = [&](reading& r) {
    for (std::size_t i = next++; i < pieces.size(); i = next++) {
      std::vector<uint32_t>& out = r.values[pieces[i].side];
      for_each_line(pieces[i].text, [&](std::string_view line) {
        scan_row(line, w, [&](std::size_t k, std::string_view value) {
          if (is_int[k]) {
            const int32_t v = text_to_int(value);
            r.least[k] = std::min<int64_t>(r.least[k], v);
            r.most[k] = std::max<int64_t>(r.most[k], v);
            out.push_back(static_cast<uint32_t>(v));
          } else {
            out.push_back(r.ids[k].id(value));
          }
        });
      });
    }
  };
  run_both([&] { read(readings[0]); }, [&] { read(readings[1]); });

  // Each column's code: its range of integers, or its texts in order.
  std::vector<column_code> codes(w);
  std::vector<std::vector<uint32_t>> rank_of[2];  // per reading, per column: id -> rank
  for (int t = 0; t < 2; ++t) rank_of[t].resize(w);
  unsigned total = minus ? 1 : 0;
  for (std::size_t k = 0; k < w; ++k) {
    column_code& c = codes[k];
    c.is_int = is_int[k];
    if (c.is_int) {
      const int64_t least = std::min(readings[0].least[k], readings[1].least[k]);
      const int64_t most = std::max(readings[0].most[k], readings[1].most[k]);
      c.least = least <= most ? least : 0;
      c.bits = least <= most ? static_cast<unsigned>(std::bit_width(static_cast<uint64_t>(most - least))) : 0;
    } else {
      std::vector<std::string_view>& all = c.texts;
      for (const reading& r : readings) all.insert(all.end(), r.ids[k].texts().begin(), r.ids[k].texts().end());
      std::sort(all.begin(), all.end());
      all.erase(std::unique(all.begin(), all.end()), all.end());
      c.bits = all.size() > 1 ? static_cast<unsigned>(std::bit_width(all.size() - 1)) : 0;
      for (int t = 0; t < 2; ++t) {
        const std::vector<std::string_view>& mine = readings[t].ids[k].texts();
        std::vector<uint32_t>& ranks = rank_of[t][k];
        ranks.reserve(mine.size());
        for (const std::string_view s : mine) {
          ranks.push_back(static_cast<uint32_t>(std::lower_bound(all.begin(), all.end(), s) - all.begin()));
        }
      }
    }
    total += c.bits;
    if (total > 64) return false;
  }

  // The keys, each thread coding what it read.
  std::size_t count[2][2];
  std::size_t rows = 0;
  for (int t = 0; t < 2; ++t) {
    for (int side = 0; side < 2; ++side) {
      count[t][side] = w == 0 ? 0 : readings[t].values[side].size() / w;
      rows += count[t][side];
    }
  }
  std::vector<uint64_t> keys(rows);
  const auto code = [&](int t) {
    std::size_t at = t == 0 ? 0 : count[0][0] + count[0][1];
    for (int side = 0; side < 2; ++side) {
      const uint32_t* v = readings[t].values[side].data();
      for (std::size_t r = 0; r < count[t][side]; ++r, v += w) {
        uint64_t key = 0;
        for (std::size_t k = 0; k < w; ++k) {
          const column_code& c = codes[k];
          const uint64_t x = c.is_int ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(v[k])) - c.least)
                                      : rank_of[t][k][v[k]];
          key = c.bits == 0 ? key : c.bits >= 64 ? x : (key << c.bits) | x;
        }
        keys[at++] = minus ? (key << 1) | static_cast<uint64_t>(side) : key;
      }
      std::vector<uint32_t>().swap(readings[t].values[side]);
    }
  };
  run_both([&] { code(0); }, [&] { code(1); });

  sort_keys(keys);

  // The distinct rows: for union each key once; for minus each key of the
  // first table that no key of the second equals.
  std::size_t kept = 0;
  if (minus) {
    for (std::size_t i = 0; i < rows;) {
      const uint64_t row = keys[i] >> 1;
      std::size_t j = i;
      bool in_second = false;
      for (; j < rows && (keys[j] >> 1) == row; ++j) in_second = in_second || (keys[j] & 1) != 0;
      if (!in_second) keys[kept++] = row;
      i = j;
    }
  } else {
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    kept = keys.size();
  }

  // Printed from the keys, blocks of rows two at a time, one per thread.
  const node_schema& result = schemas[static_cast<std::size_t>(p.root)];
  print_header(result.name, result.colnames, result.coltypes, buf);
  std::vector<unsigned> shift(w);
  for (std::size_t k = w, s = 0; k-- > 0;) {
    shift[k] = static_cast<unsigned>(s);
    s += codes[k].bits;
  }
  const auto format = [&](std::size_t from, std::size_t to, std::string& out) {
    std::size_t bound = 0;
    for (std::size_t k = 0; k < w; ++k) {
      std::size_t longest = 11;
      if (!codes[k].is_int) {
        longest = 0;
        for (const std::string_view t : codes[k].texts) longest = std::max(longest, t.size());
      }
      bound += longest + 1;
    }
    const std::size_t start = out.size();
    out.resize(start + (to - from) * bound);
    char* p0 = out.data() + start;
    char* q = p0;
    for (std::size_t i = from; i < to; ++i) {
      const uint64_t key = keys[i];
      for (std::size_t k = 0; k < w; ++k) {
        if (k > 0) *q++ = ',';
        const column_code& c = codes[k];
        const uint64_t x = c.bits == 0 ? 0 : (key >> shift[k]) & ((c.bits == 64 ? 0 : (uint64_t{1} << c.bits)) - 1);
        if (c.is_int) {
          q = std::to_chars(q, q + 11, static_cast<int32_t>(static_cast<int64_t>(x) + c.least)).ptr;
        } else {
          const std::string_view t = c.texts[x];
          std::memcpy(q, t.data(), t.size());
          q += t.size();
        }
      }
      *q++ = '\n';
    }
    out.resize(start + static_cast<std::size_t>(q - p0));
  };
  constexpr std::size_t kBlock = 1 << 15;
  std::string other;
  for (std::size_t b = 0; b < kept; b += 2 * kBlock) {
    const std::size_t m1 = std::min(b + kBlock, kept);
    const std::size_t m2 = std::min(b + 2 * kBlock, kept);
    if (m1 < m2) {
      run_both([&] { format(b, m1, buf); }, [&] { format(m1, m2, other); });
    } else {
      format(b, m1, buf);
    }
    spill(buf);
    spill(other);
  }
  return true;
}
