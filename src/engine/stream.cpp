// Selections and projections of a table, read from its row lines.
#include "engine/stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "engine/operators.h"
#include "engine/parallel.h"
#include "engine/predicate.h"
#include "engine/row_hash.h"
#include "engine/row_sort.h"
#include "engine/row_text.h"

namespace {

// The shape of a streamable plan: the table node, the selection (or -1),
// the projection (or -1).
struct shape {
  int32_t table = -1;
  int32_t select = -1;
  int32_t project = -1;
};

bool pending_table(const plan& p, int32_t i) {
  const plan_node& n = p.node(i);
  return n.op == plan_op::table && !p.table_of(n).parsed();
}

bool shape_of(const plan& p, shape& out) {
  int32_t i = p.root;
  if (p.node(i).op == plan_op::project) {
    out.project = i;
    i = p.node(i).left;
  }
  if (p.node(i).op == plan_op::select) {
    out.select = i;
    i = p.node(i).left;
  }
  if ((out.project < 0 && out.select < 0) || !pending_table(p, i)) return false;
  out.table = i;
  return true;
}

// Distinct rows cut from row lines: cells of their own in one store.
class alignas(64) distinct_rows {
 public:
  explicit distinct_rows(uint32_t width) : width_(width), seen_(16) {}

  void add(const cell* row, uint32_t w) {
    const rowref r{row, w};
    const uint32_t h = hash_row(r, whole_row{});
    const uint32_t at = seen_.find_or_add(h, static_cast<uint32_t>(count_), [&](uint32_t q) {
      const cell* c = cells_.data() + static_cast<std::size_t>(q) * width_;
      for (uint32_t k = 0; k < width_; ++k) {
        if (!cell_eq(c[k], row[k])) return false;
      }
      return true;
    });
    if (at != row_set::kAdded) return;
    // The texts are copied next to each other, so that comparing a row
    // with the kept ones reads memory at hand, not lines all over the input.
    for (uint32_t k = 0; k < w; ++k) {
      cell c = row[k];
      if (!c.is_int() && c.n > 0) c.s = keep_text(c.s, c.n);
      cells_.push_back(c);
    }
    ++count_;
  }
  void take(const distinct_rows& other) {
    for (std::size_t i = 0; i < other.count_; ++i) add(other.cells_.data() + i * width_, width_);
  }
  std::vector<rowref> rows(std::vector<std::shared_ptr<const void>>& owners) {
    auto texts = std::make_shared<std::vector<std::unique_ptr<char[]>>>(std::move(blocks_));
    owners.push_back(std::move(texts));
    auto store = std::make_shared<std::vector<cell>>(std::move(cells_));
    std::vector<rowref> out;
    out.reserve(count_);
    for (std::size_t i = 0; i < count_; ++i) out.push_back({width_ == 0 ? nullptr : store->data() + i * width_, width_});
    owners.push_back(std::move(store));
    return out;
  }

 private:
  const char* keep_text(const char* s, uint32_t n) {
    if (n > room_) {
      const std::size_t size = std::max<std::size_t>(n, std::size_t{1} << 16);
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
      free_ = blocks_.back().get();
      room_ = size;
    }
    std::memcpy(free_, s, n);
    const char* at = free_;
    free_ += n;
    room_ -= n;
    return at;
  }

  uint32_t width_;
  row_set seen_;
  std::vector<cell> cells_;
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  std::size_t room_ = 0;
  char apart_[64] = {};  // the two threads' sets on cache lines of their own
};

}  // namespace

bool stream_shape(const plan& p) {
  shape s;
  return shape_of(p, s);
}

bool streamable(const plan& p, const std::vector<node_schema>& schemas) {
  shape s;
  return shape_of(p, s) && schemas[static_cast<std::size_t>(p.root)].ok;
}

void stream_query(const plan& p, const std::vector<node_schema>& schemas, std::string& buf,
                  const spill_fn& spill) {
  shape s;
  shape_of(p, s);
  const stored_table& t = p.table_of(p.node(s.table));
  const std::string_view lines = t.pending();
  const std::vector<bool> is_int = int_columns(t.coltypes);
  std::unique_ptr<bound_predicate> test;
  if (s.select >= 0) {
    test = std::make_unique<bound_predicate>(p.conds, p.condition_of(p.node(s.select)).root, t.colnames);
  }
  const node_schema& result = schemas[static_cast<std::size_t>(p.root)];
  constexpr std::size_t kPiece = 1 << 20;

  if (s.project < 0) {
    // A selection: the lines that pass, printed in their order, a pair of
    // pieces at a time.
    print_header(result.name, result.colnames, result.coltypes, buf);
    const auto keep = [&](const cell* row, uint32_t w) { return test->test(row, w); };
    std::string other;
    for (std::size_t from = 0; from < lines.size();) {
      const std::size_t m1 = piece_end(lines, from, kPiece);
      const std::size_t m2 = m1 < lines.size() ? piece_end(lines, m1, kPiece) : m1;
      if (m1 < m2) {
        run_both([&] { print_lines_if(lines.substr(from, m1 - from), is_int, keep, buf); },
                 [&] { print_lines_if(lines.substr(m1, m2 - m1), is_int, keep, other); });
      } else {
        print_lines_if(lines.substr(from, m1 - from), is_int, keep, buf);
      }
      spill(buf);
      spill(other);
      from = m2;
    }
    return;
  }

  // A projection: the distinct cut rows, each thread keeping its own, then
  // sorted. The table's columns each hold one kind, so rows that are equal
  // print alike and which of them is kept does not matter.
  std::vector<std::string> cols;
  for (const plan_name& c : p.names_of(p.node(s.project))) cols.push_back(c.text);
  const std::vector<int> idx = project_positions(t.colnames, cols);
  const auto width = static_cast<uint32_t>(idx.size());
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  for (std::size_t from = 0; from < lines.size();) {
    const std::size_t to = piece_end(lines, from, kPiece);
    pieces.emplace_back(from, to);
    from = to;
  }
  distinct_rows kept[2] = {distinct_rows(width), distinct_rows(width)};
  std::atomic<std::size_t> next{0};
  const auto work = [&](int half) {
    std::vector<cell> row(is_int.size());
    std::vector<cell> cut(width);
    for (std::size_t i = next++; i < pieces.size(); i = next++) {
      for_each_line(lines.substr(pieces[i].first, pieces[i].second - pieces[i].first), [&](std::string_view line) {
        scan_cells(line, is_int, row.data());
        const auto w = static_cast<uint32_t>(row.size());
        if (test && !test->test(row.data(), w)) return;
        for (uint32_t k = 0; k < width; ++k) cut[k] = row[static_cast<std::size_t>(idx[k])];
        kept[half].add(cut.data(), width);
      });
    }
  };
  if (pieces.size() > 1) {
    run_both([&] { work(0); }, [&] { work(1); });
    kept[0].take(kept[1]);
  } else {
    work(0);
  }
  relation r;
  r.name = result.name;
  r.colnames = result.colnames;
  r.coltypes = result.coltypes;
  r.rows = kept[0].rows(r.owners);
  sort_unique(r.rows, true);
  print_relation(r, buf, spill);
}
