#include "table.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <stdexcept>
#include <system_error>

#include "logic.h"

void run_both(const std::function<void()>& a, const std::function<void()>& b) {
  std::exception_ptr failed_b;
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        b();
      } catch (...) {
        failed_b = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: do both here.
    a();
    b();
    return;
  }
  std::exception_ptr failed_a;
  try {
    a();
  } catch (...) {
    failed_a = std::current_exception();
  }
  helper.join();
  if (failed_a) std::rethrow_exception(failed_a);
  if (failed_b) std::rethrow_exception(failed_b);
}

// ---- Parsing ---------------------------------------------------------------

void table::def(std::string line) {
  const std::size_t open = line.find('(');
  if (open == std::string::npos) {
    // Not a header of the usual form: the whole line names a table that has
    // no columns.
    name = line;
    return;
  }
  name = line.substr(0, open);
  const std::size_t n = line.size();
  std::size_t pos = open;
  // pos rests on the "(" or "," before each definition; a ")" there, or the
  // end of the line, ends the list.
  while (pos < n && line[pos] != ')') {
    ++pos;
    const std::size_t start = pos;
    int depth = 0;
    while (pos < n) {
      const char c = line[pos];
      if (c == ',' || (c == ')' && depth == 0)) break;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      ++pos;
    }
    std::string_view d(line.data() + start, pos - start);
    std::size_t i = 0;
    while (i < d.size() && d[i] == ' ') ++i;
    std::size_t j = i;
    while (j < d.size() && d[j] != ' ') ++j;
    std::string col(d.substr(i, j - i));
    while (j < d.size() && d[j] == ' ') ++j;
    std::size_t k = j;
    while (k < d.size() && d[k] != ' ') ++k;
    colnames.push_back(std::move(col));
    coltypes.emplace_back(d.substr(j, k - j));
  }
}

std::vector<bool> int_columns(const table& t) {
  std::vector<bool> is_int;
  is_int.reserve(t.coltypes.size());
  for (const std::string& type : t.coltypes) is_int.push_back(type == "int");
  return is_int;
}

void table::newline(std::string line) { append_row(line); }

void table::append_row(std::string_view line) {
  const std::vector<bool> is_int = int_columns(*this);
  row r;
  r.reserve(coltypes.size());
  scan_row(line, coltypes.size(), [&](std::size_t j, std::string_view value) {
    if (is_int[j]) {
      r.emplace_back(static_cast<int>(text_to_int(value)));
    } else {
      r.emplace_back(std::string(value));
    }
  });
  rows.push_back(std::move(r));
}

// ---- Printing --------------------------------------------------------------

namespace {

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t kParallelRows = 1 << 16;

void append_int(std::string& buf, int32_t v) {
  char tmp[16];
  const auto res = std::to_chars(tmp, tmp + sizeof tmp, v);
  buf.append(tmp, res.ptr);
}

void append_header(std::string& buf, const std::string& name,
                   const std::vector<std::string>& colnames,
                   const std::vector<std::string>& coltypes) {
  buf += name;
  buf += '(';
  for (std::size_t i = 0; i < colnames.size(); ++i) {
    if (i > 0) buf += ", ";
    buf += colnames[i];
    buf += ' ';
    buf += coltypes[i];
  }
  buf += ")\n";
}

void append_row(std::string& buf, const row& r) {
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (i > 0) buf += ',';
    if (r[i].is_int) {
      append_int(buf, r[i].ival);
    } else {
      buf += r[i].sval;
    }
  }
  buf += '\n';
}

void append_row(std::string& buf, const rowref& r) {
  for (uint32_t i = 0; i < r.w; ++i) {
    if (i > 0) buf += ',';
    const cell& c = r.c[i];
    if (c.is_int()) {
      append_int(buf, c.v);
    } else {
      buf.append(c.s, c.n);
    }
  }
  buf += '\n';
}

// Rows in sorted order lie scattered in memory: fetch each row's cells, and
// then the text they point to, some rows ahead of printing them.
void format_rows(const std::vector<rowref>& rows, std::size_t from, std::size_t to,
                 std::string& buf) {
  for (std::size_t i = from; i < to; ++i) {
    if (i + 16 < to && rows[i + 16].c != nullptr) {
      __builtin_prefetch(rows[i + 16].c);
      __builtin_prefetch(reinterpret_cast<const char*>(rows[i + 16].c) + 64);
    }
    if (i + 8 < to) {
      // By now that row's cells are at hand; fetch the text they point to.
      const rowref& r = rows[i + 8];
      for (uint32_t k = 0; k < r.w && k < 8; ++k) {
        if (r.c[k].s != nullptr) __builtin_prefetch(r.c[k].s);
      }
    }
    append_row(buf, rows[i]);
  }
}

}  // namespace

void print_header(const table& t, std::string& buf) {
  append_header(buf, t.name, t.colnames, t.coltypes);
}
void print_row(const rowref& r, std::string& buf) { append_row(buf, r); }

void print_table(const table& t, std::string& buf,
                 const std::function<void(std::string&)>& spill, std::size_t chunk) {
  append_header(buf, t.name, t.colnames, t.coltypes);
  for (const row& r : t.rows) {
    append_row(buf, r);
    if (buf.size() >= chunk) spill(buf);
  }
}

void print_table(const relation& t, std::string& buf,
                 const std::function<void(std::string&)>& spill, std::size_t chunk) {
  // Large results are handed to spill block by block, so spill must consume
  // what it is given.
  append_header(buf, t.name, t.colnames, t.coltypes);
  const std::size_t n = t.rows.size();
  // They are formatted two blocks at a time, one per thread.
  constexpr std::size_t kBlock = 1 << 15;
  std::string other;
  for (std::size_t b = 0; b < n; b += 2 * kBlock) {
    const std::size_t m1 = std::min(b + kBlock, n);
    const std::size_t m2 = std::min(b + 2 * kBlock, n);
    if (n >= kParallelRows && m1 < m2) {
      run_both([&] { format_rows(t.rows, b, m1, buf); },
               [&] { format_rows(t.rows, m1, m2, other); });
      spill(buf);
      spill(other);
    } else {
      format_rows(t.rows, b, m2, buf);
    }
    if (buf.size() >= chunk) spill(buf);
  }
}

std::ostream& operator<<(std::ostream& out, const table& t) {
  std::string buf;
  const auto spill = [&out](std::string& b) {
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    b.clear();
  };
  print_table(t, buf, spill, 1 << 16);
  spill(buf);
  return out;
}

// ---- Row order on values --------------------------------------------------------

int row_order(const row& x, const row& y) {
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int c = cell_order(x[i], y[i]);
    if (c != 0) return c;
  }
  return (x.size() > y.size()) - (x.size() < y.size());
}

bool row_equal(const row& x, const row& y) {
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

void sort_and_collapse(std::list<row>& rows) {
  std::vector<std::list<row>::iterator> v;
  v.reserve(rows.size());
  for (auto it = rows.begin(); it != rows.end(); ++it) v.push_back(it);
  std::stable_sort(v.begin(), v.end(),
                   [](const auto& a, const auto& b) { return row_order(*a, *b) < 0; });
  // Relink the nodes in sorted order; repeats stay behind in the old list.
  std::list<row> sorted;
  for (const auto& it : v) {
    if (!sorted.empty() && row_equal(sorted.back(), *it)) continue;
    sorted.splice(sorted.end(), rows, it);
  }
  rows.swap(sorted);
}

// ---- Row order on cells ------------------------------------------------------------

namespace {

const cell kZero = cell::of_int(0);

int cell_cmp(const cell& a, const cell& b) {
  return value_order(a.ival(), a.text(), b.ival(), b.text());
}

int ref_order(const rowref& x, const rowref& y) {
  const uint32_t n = std::min(x.w, y.w);
  for (uint32_t i = 0; i < n; ++i) {
    const int c = cell_cmp(x.c[i], y.c[i]);
    if (c != 0) return c;
  }
  return (x.w > y.w) - (x.w < y.w);
}

bool ref_equal(const rowref& x, const rowref& y) {
  if (x.w != y.w) return false;
  for (uint32_t i = 0; i < x.w; ++i) {
    if (!cell_eq(x.c[i], y.c[i])) return false;
  }
  return true;
}

// Rows encoded as byte strings whose memcmp order is the row order and whose
// equality is row equality, so sorting and collapsing never touch the rows
// themselves. Integers and the empty string: 0x01 and the biased 32-bit
// value, big-endian. Other strings: 0x02, the bytes with 0x00 written as
// 0x00 0xFF, and the terminator 0x00 0x00. Each cell's code is prefix-free,
// and a row that ends first sorts first.
class row_keys {
 public:
  // Large inputs are encoded in two halves at once.
  explicit row_keys(const std::vector<rowref>& rows) {
    const std::size_t n = rows.size();
    half_ = n >= kParallelRows ? n / 2 : n;
    if (half_ < n) {
      run_both([&] { part_[0].encode_all(rows, 0, half_); },
               [&] { part_[1].encode_all(rows, half_, n); });
    } else {
      part_[0].encode_all(rows, 0, n);
    }
  }
  std::string_view key(std::size_t i) const {
    return i < half_ ? part_[0].key(i) : part_[1].key(i - half_);
  }
  // Eight bytes from offset `from`, zero-padded, as a big-endian number.
  uint64_t prefix(std::size_t i, std::size_t from) const {
    const std::string_view k = key(i);
    uint64_t p = 0;
    for (std::size_t j = from; j < from + 8; ++j) {
      p = (p << 8) | (j < k.size() ? static_cast<unsigned char>(k[j]) : 0U);
    }
    return p;
  }

 private:
  struct part {
    std::string bytes;
    std::vector<std::size_t> start;

    std::string_view key(std::size_t i) const {
      return std::string_view(bytes).substr(start[i], start[i + 1] - start[i]);
    }
    void encode_all(const std::vector<rowref>& rows, std::size_t from, std::size_t to) {
      // Size the arena first, so it is not left up to twice too large by
      // doubling (a string holding a zero byte needs one byte more per zero).
      std::size_t total = 0;
      for (std::size_t k = from; k < to; ++k) {
        for (uint32_t i = 0; i < rows[k].w; ++i) {
          const cell& c = rows[k].c[i];
          total += (c.is_int() || c.n == 0) ? 5 : 3 + c.n;
        }
      }
      bytes.reserve(total);
      start.reserve(to - from + 1);
      for (std::size_t k = from; k < to; ++k) {
        start.push_back(bytes.size());
        for (uint32_t i = 0; i < rows[k].w; ++i) encode(rows[k].c[i]);
      }
      start.push_back(bytes.size());
    }
    void encode(const cell& c) {
      if (c.is_int() || c.n == 0) {
        const uint32_t v = static_cast<uint32_t>(c.ival()) ^ 0x80000000U;
        const char code[5] = {1, static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                              static_cast<char>(v >> 8), static_cast<char>(v)};
        bytes.append(code, 5);
        return;
      }
      bytes += '\x02';
      const std::string_view t = c.text();
      std::size_t from = 0;
      for (std::size_t z = t.find('\0'); z != std::string_view::npos; z = t.find('\0', from)) {
        bytes.append(t.substr(from, z - from));
        bytes.append("\0\xff", 2);
        from = z + 1;
      }
      bytes.append(t.substr(from));
      bytes.append("\0\0", 2);
    }
  };

  part part_[2];
  std::size_t half_ = 0;
};

int compare_keys(std::string_view a, std::string_view b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c;
  return (a.size() > b.size()) - (a.size() < b.size());
}

// A key's first 24 bytes and its length travel with the entry; only keys
// that agree on those and are longer are compared in full.
struct sort_entry {
  uint64_t p0;
  uint64_t p1;
  uint64_t p2;
  uint32_t size;
  uint32_t index;  // into the rows and keys as given
};
constexpr uint32_t kInline = 24;

// The keys a sort made, kept for a merge walk over the sorted rows: key i
// belongs to the i-th kept row.
struct sorted_keys {
  std::unique_ptr<row_keys> keys;
  std::vector<std::string_view> kept;
};

// Sorts rows ascending, keeping equal rows in their given order, and drops
// every row equal to the last one kept. With keys_out, the kept rows' keys
// are handed out as well.
void sort_unique(std::vector<rowref>& rows, sorted_keys* keys_out = nullptr) {
  if (rows.size() < 2 && keys_out == nullptr) return;
  auto owned = std::make_unique<row_keys>(rows);
  const row_keys& keys = *owned;
  std::vector<sort_entry> e(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    e[i] = {keys.prefix(i, 0), keys.prefix(i, 8), keys.prefix(i, 16),
            static_cast<uint32_t>(keys.key(i).size()), static_cast<uint32_t>(i)};
  }
  // A total order (ties broken by position), so halves sorted apart merge
  // into the one stable result.
  const auto less = [&keys](const sort_entry& a, const sort_entry& b) {
    if (a.p0 != b.p0) return a.p0 < b.p0;
    if (a.p1 != b.p1) return a.p1 < b.p1;
    if (a.p2 != b.p2) return a.p2 < b.p2;
    if (a.size > kInline && b.size > kInline) {
      const int c = compare_keys(keys.key(a.index), keys.key(b.index));
      if (c != 0) return c < 0;
    } else if (a.size != b.size) {
      return a.size < b.size;
    }
    return a.index < b.index;
  };
  if (e.size() >= kParallelRows) {
    const auto mid = e.begin() + static_cast<std::ptrdiff_t>(e.size() / 2);
    run_both([&] { std::sort(mid, e.end(), less); }, [&] { std::sort(e.begin(), mid, less); });
    std::inplace_merge(e.begin(), mid, e.end(), less);
  } else {
    std::sort(e.begin(), e.end(), less);
  }
  // Mark the kept entries, then let the keys go (unless wanted) before the
  // sorted list is built, to keep the peak of memory down.
  std::size_t kept = 0;
  std::string_view last;
  for (std::size_t i = 0; i < e.size(); ++i) {
    const std::string_view k = keys.key(e[i].index);
    if (i > 0 && k == last) continue;
    last = k;
    e[kept++] = e[i];
    if (keys_out) keys_out->kept.push_back(k);
  }
  e.resize(kept);
  if (keys_out) {
    keys_out->keys = std::move(owned);
  } else {
    owned.reset();
  }
  std::vector<rowref> out;
  out.reserve(kept);
  for (const sort_entry& x : e) out.push_back(rows[x.index]);
  rows.swap(out);
}

std::size_t g_row_limit = SIZE_MAX;
std::size_t g_memory_budget = SIZE_MAX;

// Storage for cells an operator makes; sized up front, so the addresses
// handed out stay valid.
std::shared_ptr<std::vector<cell>> new_cells(std::size_t n) {
  auto store = std::make_shared<std::vector<cell>>();
  store->reserve(n);
  return store;
}

// Gives `to` the owners of `from` as well. The longer list is kept and the
// shorter appended, so a deep chain of operators does not copy its owners
// at every level.
void adopt(relation& to, relation& from) {
  if (to.owners.size() < from.owners.size()) to.owners.swap(from.owners);
  to.owners.insert(to.owners.end(), std::make_move_iterator(from.owners.begin()),
                   std::make_move_iterator(from.owners.end()));
  from.owners.clear();
}

}  // namespace

void rel_sort(std::vector<rowref>& rows) { sort_unique(rows); }

void set_row_limit(std::size_t rows) { g_row_limit = rows; }
void set_memory_budget(std::size_t bytes) { g_memory_budget = bytes; }

// ---- Relations ----------------------------------------------------------------------

relation relation::of(const table& t) {
  relation r;
  r.name = t.name;
  r.colnames = t.colnames;
  r.coltypes = t.coltypes;
  std::size_t total = 0;
  for (const row& x : t.rows) total += x.size();
  auto store = new_cells(total);
  r.rows.reserve(t.rows.size());
  for (const row& x : t.rows) {
    const cell* first = store->data() + store->size();
    for (const t_object& v : x) store->push_back(cell::of(v));
    r.rows.push_back({first, static_cast<uint32_t>(x.size())});
  }
  r.owners.push_back(std::move(store));
  return r;
}

relation relation::of(const table& header, const cell_block& block) {
  relation r;
  r.name = header.name;
  r.colnames = header.colnames;
  r.coltypes = header.coltypes;
  const auto w = static_cast<uint32_t>(header.colnames.size());
  r.rows.reserve(block.rows);
  for (std::size_t i = 0; i < block.rows; ++i) {
    r.rows.push_back({w == 0 ? nullptr : block.cells.data() + i * w, w});
  }
  return r;
}

table relation::to_table() const {
  table t;
  t.name = name;
  t.colnames = colnames;
  t.coltypes = coltypes;
  for (const rowref& r : rows) {
    row x;
    x.reserve(r.w);
    for (uint32_t i = 0; i < r.w; ++i) x.push_back(r.c[i].value());
    t.rows.push_back(std::move(x));
  }
  return t;
}

// ---- Union and difference ------------------------------------------------------

namespace {

bool ref_less(const rowref& x, const rowref& y) { return ref_order(x, y) < 0; }

// Merges two sorted, collapsed row lists; of two equal rows the one from a
// stays, as it would come first in a stable sort of a's rows then b's.
// Lists of like size merge in one walk; a few rows merge into many by
// binary search, in little more than a copy.
std::vector<rowref> merge_unique(const std::vector<rowref>& a, const std::vector<rowref>& b) {
  std::vector<rowref> out;
  out.reserve(a.size() + b.size());
  const bool walk_a = a.size() <= b.size();
  const std::vector<rowref>& few = walk_a ? a : b;
  const std::vector<rowref>& many = walk_a ? b : a;
  if (few.size() * 8 >= many.size()) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
      const int c = ref_order(a[i], b[j]);
      if (c <= 0) {
        out.push_back(a[i++]);
        if (c == 0) ++j;
      } else {
        out.push_back(b[j++]);
      }
    }
    out.insert(out.end(), a.begin() + static_cast<std::ptrdiff_t>(i), a.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(j), b.end());
    return out;
  }
  auto from = many.begin();
  for (const rowref& r : few) {
    const auto at = std::lower_bound(from, many.end(), r, ref_less);
    out.insert(out.end(), from, at);
    from = at;
    if (from != many.end() && ref_equal(*from, r)) {
      out.push_back(walk_a ? r : *from);
      ++from;
    } else {
      out.push_back(r);
    }
  }
  out.insert(out.end(), from, many.end());
  return out;
}

}  // namespace

relation rel_union(relation a, relation b) {
  if (!a.sorted && !b.sorted) {
    a.rows.insert(a.rows.end(), b.rows.begin(), b.rows.end());
    std::vector<rowref>().swap(b.rows);
    sort_unique(a.rows);
  } else {
    // One side is already in order: put the other in order and merge.
    std::vector<rowref> y = std::move(b.rows);
    if (!a.sorted) sort_unique(a.rows);
    if (!b.sorted) sort_unique(y);
    a.rows = merge_unique(a.rows, y);
  }
  adopt(a, b);
  a.sorted = true;
  return a;
}

relation rel_minus(relation a, relation b) {
  relation result;
  result.colnames = a.colnames;
  result.coltypes = a.coltypes;
  result.owners.swap(a.owners);
  std::vector<rowref> x = std::move(a.rows);
  std::vector<rowref> y = std::move(b.rows);
  // Rows already in order are compared directly; rows sorted here are
  // compared by the keys the sort made.
  sorted_keys kx;
  sorted_keys ky;
  const bool keyed = !a.sorted && !b.sorted;
  if (!a.sorted) sort_unique(x, keyed ? &kx : nullptr);
  if (!b.sorted) sort_unique(y, keyed ? &ky : nullptr);
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < x.size() && j < y.size()) {
    const int c = keyed ? compare_keys(kx.kept[i], ky.kept[j]) : ref_order(x[i], y[j]);
    if (c == 0) {
      ++i;
      ++j;
    } else if (c < 0) {
      result.rows.push_back(x[i++]);
    } else {
      ++j;
    }
  }
  result.rows.insert(result.rows.end(), x.begin() + static_cast<std::ptrdiff_t>(i), x.end());
  result.sorted = true;
  return result;
}

// ---- Product -------------------------------------------------------------------

relation rel_product(relation a, relation b) {
  std::vector<std::string> names = a.colnames;
  names.insert(names.end(), b.colnames.begin(), b.colnames.end());
  std::vector<std::string> types = a.coltypes;
  types.insert(types.end(), b.coltypes.begin(), b.coltypes.end());

  // Columns are laid out in name order; the layout cannot place a name that
  // occurs twice, so such products are refused.
  std::set<std::string> seen;
  std::set<std::string> repeated;
  for (const std::string& n : names) {
    if (!seen.insert(n).second) repeated.insert(n);
  }
  if (!repeated.empty()) {
    const std::string& n = *repeated.begin();
    const bool in_a = std::find(a.colnames.begin(), a.colnames.end(), n) != a.colnames.end();
    const bool in_b = std::find(b.colnames.begin(), b.colnames.end(), n) != b.colnames.end();
    throw std::runtime_error("product: column " + show_text(n) +
                             (in_a && in_b ? " appears in both operands"
                                           : " appears twice in one operand") +
                             "; use rename to make the column names distinct");
  }
  std::map<std::string, int> rank;
  int next = 0;
  for (const std::string& n : seen) rank[n] = next++;
  std::vector<int> place;
  place.reserve(names.size());
  for (const std::string& n : names) place.push_back(rank[n]);

  relation result;
  result.colnames = vector_swap(names, place);
  result.coltypes = vector_swap(types, place);

  // Repeats in an operand only make repeated combined rows, and the first
  // combined row of each kind pairs the first rows of each kind; so the
  // operands are collapsed first and the product of what remains has no
  // repeats.
  std::vector<rowref> x = std::move(a.rows);
  std::vector<rowref> y = std::move(b.rows);
  if (!a.sorted) sort_unique(x);
  if (!b.sorted) sort_unique(y);

  const std::size_t na = a.colnames.size();
  const std::size_t width = names.size();
  // A row costs its cells, its reference and its sort entry and key.
  const std::size_t row_bytes = width * (sizeof(cell) + 8) + 64;
  const std::size_t cap = std::min(g_row_limit, g_memory_budget / row_bytes);
  if (!x.empty() && y.size() > cap / x.size()) {
    throw std::runtime_error(
        "product: the result would hold " + std::to_string(x.size()) + " x " +
        std::to_string(y.size()) + " rows, more than the limit of " + std::to_string(cap) +
        (cap == g_row_limit ? " set by --max-rows" : " that fit in memory"));
  }
  // source[k]: the combined position whose cell lands at position k. A row
  // too short for its table reads the integer 0 where it has no cell.
  std::vector<std::size_t> source(width);
  for (std::size_t e = 0; e < place.size(); ++e) source[static_cast<std::size_t>(place[e])] = e;
  auto store = new_cells(x.size() * y.size() * width);
  result.rows.reserve(x.size() * y.size());
  for (const rowref& p : x) {
    for (const rowref& q : y) {
      const cell* first = store->data() + store->size();
      for (const std::size_t s : source) {
        if (s < na) {
          store->push_back(s < p.w ? p.c[s] : kZero);
        } else {
          store->push_back(s - na < q.w ? q.c[s - na] : kZero);
        }
      }
      result.rows.push_back({first, static_cast<uint32_t>(width)});
    }
  }
  sort_unique(result.rows);
  adopt(result, a);
  adopt(result, b);
  result.owners.push_back(std::move(store));
  result.sorted = true;
  return result;
}

// ---- Projection and renaming ------------------------------------------------------

relation rel_project(relation t, const std::vector<std::string>& cols) {
  relation result;
  result.sorted = true;
  if (cols.empty()) {
    // No columns listed: every row becomes the empty row, collapsed to one.
    if (!t.rows.empty()) result.rows.push_back({nullptr, 0});
    return result;
  }
  if (t.colnames.empty()) {
    throw std::runtime_error("project: the table has no columns to project onto (listed: " +
                             show_text(cols.front()) + ")");
  }
  // Later columns overwrite earlier ones, so a shared name picks the last.
  std::map<std::string, int, std::less<>> where;
  for (std::size_t i = 0; i < t.colnames.size(); ++i) where[t.colnames[i]] = static_cast<int>(i);
  std::vector<int> idx;
  idx.reserve(cols.size());
  for (const std::string& c : cols) {
    const auto it = where.find(c);
    idx.push_back(it == where.end() ? 0 : it->second);
  }
  result.colnames = vector_project(t.colnames, idx);
  result.coltypes = vector_project(t.coltypes, idx);

  // Cut every row to the listed positions (views, no values copied); a
  // position the row lacks reads as the integer 0. Then sort and collapse.
  const std::size_t width = idx.size();
  auto store = new_cells(t.rows.size() * width);
  result.rows.reserve(t.rows.size());
  for (const rowref& r : t.rows) {
    const cell* first = store->data() + store->size();
    for (const int i : idx) {
      store->push_back(static_cast<uint32_t>(i) < r.w ? r.c[i] : kZero);
    }
    result.rows.push_back({first, static_cast<uint32_t>(width)});
  }
  sort_unique(result.rows);
  adopt(result, t);
  result.owners.push_back(std::move(store));
  return result;
}

relation rel_rename(relation t, const std::vector<std::string>& names) {
  const std::size_t want = t.colnames.size() + 1;
  if (names.size() < want) {
    throw std::runtime_error(
        "rename: expected " + std::to_string(want) + " names (the table name and " +
        std::to_string(want - 1) + " column name" + (want == 2 ? "" : "s") + "), got " +
        std::to_string(names.size()) + "; write rename(E,N(c1,...,cn))");
  }
  t.name = names[0];
  for (std::size_t i = 0; i < t.colnames.size(); ++i) t.colnames[i] = names[i + 1];
  return t;
}

relation rel_select(relation t, const logic& condition) {
  const bound_predicate test(condition, t.colnames);
  std::size_t kept = 0;
  for (const rowref& r : t.rows) {
    if (test.test(r.c, r.w)) t.rows[kept++] = r;
  }
  t.rows.resize(kept);
  t.name.clear();
  return t;
}

// ---- The operators on tables ------------------------------------------------------

table operator+(const table& a, const table& b) {
  return rel_union(relation::of(a), relation::of(b)).to_table();
}
table operator-(const table& a, const table& b) {
  return rel_minus(relation::of(a), relation::of(b)).to_table();
}
table operator*(const table& a, const table& b) {
  return rel_product(relation::of(a), relation::of(b)).to_table();
}
table project(const table& t, const std::vector<std::string>& cols) {
  return rel_project(relation::of(t), cols).to_table();
}
table rename(const table& t, const std::vector<std::string>& names) {
  return rel_rename(relation::of(t), names).to_table();
}
table select(const table& t, const std::string& condition) {
  const auto root = std::make_unique<logic>(condition);
  return select(t, *root);
}
table select(const table& t, const logic& condition) {
  return rel_select(relation::of(t), condition).to_table();
}
