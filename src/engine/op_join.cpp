// The equality join: leaves joined one at a time by hashing the smaller
// side on the equal columns, in an order that starts from the largest leaf
// and takes the smallest connected leaf next; the last step streams its
// pairs straight into the result (or the projection's distinct rows), on
// two threads for many. Leaves that no equality reaches are paired with
// every row, as the product would.
#include "engine/operators.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "engine/errors.h"
#include "engine/packed_rows.h"
#include "engine/parallel.h"
#include "engine/predicate.h"
#include "engine/row_hash.h"
#include "engine/row_sort.h"

namespace {

// Rows of the joined leaves so far: for each, the row index in each joined
// leaf, in the order the leaves were joined. The first step needs no list:
// its rows are those of its leaf.
struct partial {
  std::vector<uint32_t> leaves;  // joined leaves, in order
  std::vector<uint32_t> ids;     // count * leaves.size() row indices
  std::size_t count = 0;
  bool identity = true;  // one leaf, all its rows: ids is empty
  uint32_t id(std::size_t t, std::size_t slot) const {
    return identity ? static_cast<uint32_t>(t) : ids[t * leaves.size() + slot];
  }
};

// The rows of one leaf by the cells of some of its columns: an open-
// addressing table of (hash, row) that keeps every row, so a lookup walks
// on past a match for the rows that share its key. A key of one integer
// column is kept in the slot itself instead of its hash, and compared
// there without reading the row.
class key_table {
 public:
  // Sized for every row at once: integer keys are placed from their
  // spread, which the table's growth would not keep.
  key_table(const std::vector<rowref>& rows, std::vector<uint32_t> cols)
      : rows_(rows), cols_(std::move(cols)), slots_(rows.size()) {
    by_int_ = cols_.size() == 1 && !rows.empty() && rows[0].c[cols_[0]].is_int();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const uint32_t v = by_int_ ? static_cast<uint32_t>(rows[r].c[cols_[0]].v) : hash_of(rows[r].c);
      slots_.add(by_int_ ? spread(v) : v, v, static_cast<uint32_t>(r));
    }
  }

  // The hash of a key: one cell per key column.
  uint32_t hash_key(const cell* const* key) const {
    if (by_int_) return spread(static_cast<uint32_t>(key[0]->ival()));
    uint64_t h = 0;
    for (std::size_t k = 0; k < cols_.size(); ++k) h = mix(h, hash_cell(*key[k]));
    return static_cast<uint32_t>(h);
  }
  void prefetch(uint32_t h) const { slots_.prefetch(h); }

  // Calls fn(row) for each row whose key cells equal `key` (of hash h), by
  // cell equality.
  template <class Fn>
  void each_match(const cell* const* key, uint32_t h, Fn&& fn) const {
    if (by_int_) {
      // An integer equals only integers and the empty text (as 0).
      if (!key[0]->is_int() && key[0]->n != 0) return;
      const auto v = static_cast<uint32_t>(key[0]->ival());
      slots_.probe(h, [&](uint32_t stored, uint32_t r) {
        if (stored == v) fn(r);
      });
      return;
    }
    slots_.probe(h, [&](uint32_t stored, uint32_t r) {
      if (stored != h) return;
      const cell* c = rows_[r].c;
      bool same = true;
      for (std::size_t k = 0; k < cols_.size() && same; ++k) same = cell_eq(c[cols_[k]], *key[k]);
      if (same) fn(r);
    });
  }

 private:
  static uint32_t spread(uint32_t v) { return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ULL) >> 32); }
  static uint64_t mix(uint64_t h, uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
  }
  uint32_t hash_of(const cell* c) const {
    uint64_t h = 0;
    for (const uint32_t col : cols_) h = mix(h, hash_cell(c[col]));
    return static_cast<uint32_t>(h);
  }

  const std::vector<rowref>& rows_;
  std::vector<uint32_t> cols_;
  bool by_int_ = false;
  slot_table slots_;  // by hash, or by integer key (placed from its spread)
};

// Where the rows of the join go: whole, or cut to the projection's columns,
// or as keys (packed_rows.h). Repeats are dropped afterwards.
class sink {
 public:
  sink(uint32_t width, const std::vector<int>* cut, std::size_t cap, bool by_rows)
      : width_(width), cut_(cut), cap_(cap), by_rows_(by_rows) {}

  uint32_t row_width() const { return cut_ == nullptr ? width_ : static_cast<uint32_t>(cut_->size()); }
  void reserve(std::size_t rows, bool keys) {
    if (keys) {
      keys_.reserve(rows);
    } else {
      cells_.reserve(rows * row_width());
    }
  }
  // Room for one row, to be written by the caller.
  cell* next() {
    if (count_ >= cap_) refuse();
    const std::size_t at = cells_.size();
    cells_.resize(at + row_width());
    ++count_;
    return cells_.data() + at;
  }
  void put(uint64_t key) {
    if (count_ >= cap_) refuse();
    keys_.push_back(key);
    ++count_;
  }

  // The join builds more rows than it may.
  [[noreturn]] void refuse() const {
    throw evaluation_error("select: the rows it keeps of the product number more than the limit of " +
                           std::to_string(cap_) + (by_rows_ ? " set by --max-rows" : " that fit in memory"));
  }

  // Moves the other sink's rows after this one's.
  void take(sink& other) {
    if (count_ + other.count_ > cap_) refuse();
    cells_.insert(cells_.end(), other.cells_.begin(), other.cells_.end());
    keys_.insert(keys_.end(), other.keys_.begin(), other.keys_.end());
    count_ += other.count_;
    std::vector<cell>().swap(other.cells_);
    std::vector<uint64_t>().swap(other.keys_);
    other.count_ = 0;
  }

  std::vector<uint64_t>& keys() { return keys_; }

  // The rows, by address, and the storage that holds them.
  std::vector<rowref> rows(std::vector<std::shared_ptr<const void>>& owners) {
    auto store = std::make_shared<std::vector<cell>>(std::move(cells_));
    const uint32_t w = row_width();
    std::vector<rowref> out;
    out.reserve(count_);
    for (std::size_t i = 0; i < count_; ++i) out.push_back({w == 0 ? nullptr : store->data() + i * w, w});
    owners.push_back(std::move(store));
    return out;
  }

 private:
  uint32_t width_;
  const std::vector<int>* cut_;
  std::size_t cap_;
  bool by_rows_;
  std::vector<cell> cells_;
  std::vector<uint64_t> keys_;
  std::size_t count_ = 0;
};

// Leaves the join reads exactly as the product would: every row of full
// width, and every column of one kind (so that rows that are equal print
// alike, and which of them stays does not matter).
bool plain(const relation& r) {
  const std::size_t w = r.colnames.size();
  std::vector<int> kind(w, -1);  // -1 unknown, 0 integers, 1 strings
  for (const rowref& row : r.rows) {
    if (row.w != w) return false;
    for (std::size_t k = 0; k < w; ++k) {
      const int here = row.c[k].is_int() ? 0 : 1;
      if (kind[k] < 0) kind[k] = here;
      if (kind[k] != here) return false;
    }
  }
  return true;
}

}  // namespace

bool rel_join(std::vector<relation>& leaves, const join_request& req, const eval_limits& limits,
              relation& out) {
  for (const relation& l : leaves) {
    if (!plain(l)) return false;
  }
  const std::size_t n = leaves.size();
  const auto width = static_cast<uint32_t>(req.colnames.size());

  // The order: the largest leaf that an equality reaches first, then
  // always the smallest leaf connected to those joined, then the rest.
  std::vector<bool> keyed(n, false);
  for (const join_key& k : *req.keys) keyed[k.leaf_a] = keyed[k.leaf_b] = true;
  std::vector<uint32_t> order;
  std::vector<bool> joined(n, false);
  {
    uint32_t first = 0;
    for (uint32_t l = 0; l < n; ++l) {
      if (keyed[l] && (!keyed[first] || leaves[l].rows.size() > leaves[first].rows.size())) first = l;
    }
    order.push_back(first);
    joined[first] = true;
  }
  const auto connected = [&](uint32_t l) {
    for (const join_key& k : *req.keys) {
      if ((k.leaf_a == l && joined[k.leaf_b]) || (k.leaf_b == l && joined[k.leaf_a])) return true;
    }
    return false;
  };
  while (order.size() < n) {
    int64_t pick = -1;
    for (uint32_t l = 0; l < n; ++l) {
      if (joined[l] || !connected(l)) continue;
      if (pick < 0 || leaves[l].rows.size() < leaves[static_cast<std::size_t>(pick)].rows.size()) pick = l;
    }
    if (pick < 0) {
      for (uint32_t l = 0; l < n && pick < 0; ++l) {
        if (!joined[l]) pick = l;
      }
    }
    order.push_back(static_cast<uint32_t>(pick));
    joined[static_cast<std::size_t>(pick)] = true;
  }

  std::unique_ptr<bound_predicate> test;
  if (!req.keys_are_all) test = std::make_unique<bound_predicate>(*req.condition.tree, req.condition.root, req.colnames);

  // The step that joins leaf order[s] to the partial rows: the keys that
  // tie it to leaves joined before it (and where those sit in a partial
  // row); none for a leaf no key reaches.
  struct step {
    uint32_t leaf;
    std::vector<uint32_t> cols;                           // its key columns
    std::vector<std::pair<uint32_t, uint32_t>> against;   // (slot, column) of the partial row
  };
  std::vector<step> steps;
  std::vector<uint32_t> slot_of(n, 0);
  for (uint32_t s = 0; s < n; ++s) slot_of[order[s]] = s;
  for (uint32_t s = 1; s < n; ++s) {
    step st;
    st.leaf = order[s];
    for (const join_key& k : *req.keys) {
      if (k.leaf_a == st.leaf && slot_of[k.leaf_b] < s) {
        st.cols.push_back(k.col_a);
        st.against.emplace_back(slot_of[k.leaf_b], k.col_b);
      } else if (k.leaf_b == st.leaf && slot_of[k.leaf_a] < s) {
        st.cols.push_back(k.col_b);
        st.against.emplace_back(slot_of[k.leaf_a], k.col_a);
      }
    }
    steps.push_back(std::move(st));
  }

  partial rows;
  rows.leaves.push_back(order[0]);
  rows.count = leaves[order[0]].rows.size();
  std::vector<std::unique_ptr<key_table>> tables(steps.size());
  for (std::size_t s = 0; s < steps.size(); ++s) {
    if (!steps[s].cols.empty()) tables[s] = std::make_unique<key_table>(leaves[steps[s].leaf].rows, steps[s].cols);
  }

  // The key cells of partial row t against step s.
  const auto key_of = [&](std::size_t s, const partial& from, std::size_t t, const cell** k) {
    const step& st = steps[s];
    for (std::size_t q = 0; q < st.against.size(); ++q) {
      const auto [slot, col] = st.against[q];
      k[q] = &leaves[from.leaves[slot]].rows[from.id(t, slot)].c[col];
    }
  };
  // Calls fn(t, row) for each row of leaf steps[s].leaf that pairs with
  // partial row t.
  const auto pairs = [&](std::size_t s, const partial& from, std::size_t t, const auto& fn) {
    const step& st = steps[s];
    if (st.cols.empty()) {
      const std::size_t m = leaves[st.leaf].rows.size();
      for (std::size_t r = 0; r < m; ++r) fn(static_cast<uint32_t>(r));
      return;
    }
    const cell* key[16];
    std::vector<const cell*> wide;
    const cell** k = st.against.size() <= 16 ? key : (wide.resize(st.against.size()), wide.data());
    key_of(s, from, t, k);
    tables[s]->each_match(k, tables[s]->hash_key(k), fn);
  };

  // Every step but the last makes the partial rows of the next.
  for (std::size_t s = 0; s + 1 < steps.size(); ++s) {
    partial next;
    next.leaves = rows.leaves;
    next.leaves.push_back(steps[s].leaf);
    next.identity = false;
    const std::size_t arity = rows.leaves.size();
    for (std::size_t t = 0; t < rows.count; ++t) {
      pairs(s, rows, t, [&](uint32_t r) {
        for (std::size_t q = 0; q < arity; ++q) next.ids.push_back(rows.id(t, q));
        next.ids.push_back(r);
        ++next.count;
      });
    }
    rows = std::move(next);
  }

  // The last step hands on each result row: built in the operand's layout
  // and tested when the keys are not all of the condition; else only the
  // cells that are kept are copied, straight from the leaves.
  const std::size_t last = steps.size() - 1;
  const std::size_t arity = rows.leaves.size();
  struct source {
    uint32_t slot;  // in the partial row, or `arity` for the last step's leaf
    uint32_t col;
  };
  std::vector<source> sources;
  {
    std::vector<source> at(width);
    for (std::size_t q = 0; q <= arity; ++q) {
      const uint32_t l = q < arity ? rows.leaves[q] : steps[last].leaf;
      const std::vector<uint32_t>& place = (*req.place)[l];
      for (uint32_t c = 0; c < place.size(); ++c) at[place[c]] = {static_cast<uint32_t>(q), c};
    }
    if (req.project != nullptr) {
      for (const int k : *req.project) sources.push_back(at[static_cast<std::size_t>(k)]);
    } else {
      sources = at;
    }
  }
  const step& final_step = steps[last];
  const key_table* table = tables[last].get();
  // The result as keys, when its columns fit in 64 bits.
  row_packer packer;
  std::vector<const uint64_t*> parts(arity + 1, nullptr);
  bool packed = false;
  if (!sources.empty()) {
    std::vector<packed_source> columns;
    for (const source& c : sources) columns.push_back({c.slot < arity ? rows.leaves[c.slot] : final_step.leaf, c.col});
    packed = packer.code(leaves, columns);
    for (std::size_t q = 0; packed && q <= arity; ++q) parts[q] = packer.parts(q < arity ? rows.leaves[q] : final_step.leaf);
  }
  const auto finish = [&](std::size_t from, std::size_t to, sink& into) {
    std::vector<cell> row(width);
    std::vector<const cell*> at(arity + 1);
    const cell* key[16];
    std::vector<const cell*> wide;
    const cell** k = final_step.against.size() <= 16 ? key : (wide.resize(final_step.against.size()), wide.data());
    // Hashes are found some rows ahead, so that their slots are fetched
    // while the rows before are joined.
    constexpr std::size_t kAhead = 8;
    uint32_t ahead[kAhead];
    const auto hash_at = [&](std::size_t t) {
      key_of(last, rows, t, k);
      return table->hash_key(k);
    };
    if (table != nullptr) {
      for (std::size_t t = from; t < to && t < from + kAhead; ++t) {
        ahead[t % kAhead] = hash_at(t);
        table->prefetch(ahead[t % kAhead]);
      }
    }
    uint64_t base = 0;  // the key's part from the partial row
    const auto emit = [&](uint32_t r) {
      if (packed && !test) {
        into.put(parts[arity] != nullptr ? base | parts[arity][r] : base);
        return;
      }
      at[arity] = leaves[final_step.leaf].rows[r].c;
      if (test) {
        for (std::size_t q = 0; q <= arity; ++q) {
          const uint32_t l = q < arity ? rows.leaves[q] : final_step.leaf;
          const std::vector<uint32_t>& place = (*req.place)[l];
          for (std::size_t c = 0; c < place.size(); ++c) row[place[c]] = at[q][c];
        }
        if (!test->test(row.data(), width)) return;
      }
      if (packed) {
        into.put(parts[arity] != nullptr ? base | parts[arity][r] : base);
        return;
      }
      cell* out = into.next();
      for (std::size_t j = 0; j < sources.size(); ++j) out[j] = at[sources[j].slot][sources[j].col];
    };
    for (std::size_t t = from; t < to; ++t) {
      base = 0;
      for (std::size_t q = 0; q < arity; ++q) {
        const uint32_t id = rows.id(t, q);
        at[q] = leaves[rows.leaves[q]].rows[id].c;
        if (parts[q] != nullptr) base |= parts[q][id];
      }
      if (table == nullptr) {
        const std::size_t m = leaves[final_step.leaf].rows.size();
        for (std::size_t r = 0; r < m; ++r) emit(static_cast<uint32_t>(r));
        continue;
      }
      const uint32_t h = ahead[t % kAhead];
      if (t + kAhead < to) {
        ahead[t % kAhead] = hash_at(t + kAhead);
        table->prefetch(ahead[t % kAhead]);
      }
      key_of(last, rows, t, k);
      table->each_match(k, h, emit);
    }
  };
  // A row costs its cells, its reference and its sort entry.
  const std::size_t row_bytes = width * (sizeof(cell) + 8) + 64;
  const std::size_t cap = std::min(limits.row_limit, limits.memory_budget / row_bytes);
  const bool by_rows = cap == limits.row_limit;
  sink result(width, req.project, cap, by_rows);
  result.reserve(std::min(rows.count, cap), packed);
  if (rows.count >= kParallelRows) {
    sink other(width, req.project, cap, by_rows);
    other.reserve(std::min(rows.count / 2, cap), packed);
    const std::size_t half = rows.count / 2;
    run_both([&] { finish(0, half, result); }, [&] { finish(half, rows.count, other); });
    result.take(other);
  } else {
    finish(0, rows.count, result);
  }

  out = relation();
  if (packed) {
    packer.rows_of(result.keys(), out);
  } else {
    out.rows = result.rows(out.owners);
    sort_unique(out.rows);
    out.sorted = true;
  }
  for (relation& l : leaves) adopt(out, l);
  return true;
}
