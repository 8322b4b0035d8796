#include "table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

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

// Formats rows into a scratch area that is appended to the output in large
// runs: one room check per row instead of one append per value. The area
// grows for a row larger than it.
class row_printer {
 public:
  explicit row_printer(std::string& out)
      : out_(out), scratch_(std::make_unique_for_overwrite<char[]>(kSize)), size_(kSize) {}

  void row(const rowref& r) {
    std::size_t bound = r.w + 1;
    for (uint32_t i = 0; i < r.w; ++i) bound += r.c[i].is_int() ? kIntChars : r.c[i].n;
    char* p = room(bound);
    for (uint32_t i = 0; i < r.w; ++i) {
      if (i > 0) *p++ = ',';
      p = put(p, r.c[i]);
    }
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - scratch_.get());
  }

  // A row line, parsed and printed in one pass.
  void line(std::string_view text, const std::vector<bool>& is_int) {
    // Each value prints in at most its own bytes or an integer's width.
    char* p = room(text.size() + is_int.size() * (kIntChars + 1) + 1);
    scan_row(text, is_int.size(), [&](std::size_t j, std::string_view value) {
      if (j > 0) *p++ = ',';
      p = put(p, is_int[j] ? cell::of_int(text_to_int(value)) : cell::of_text(value));
    });
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - scratch_.get());
  }

  void flush() {
    out_.append(scratch_.get(), used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kSize = 1 << 16;
  static constexpr std::size_t kIntChars = 11;  // "-2147483648"

  // Where `bound` bytes can be written.
  char* room(std::size_t bound) {
    if (bound > size_ - used_) {
      flush();
      if (bound > size_) {
        scratch_ = std::make_unique_for_overwrite<char[]>(bound);
        size_ = bound;
      }
    }
    return scratch_.get() + used_;
  }
  static char* put(char* p, const cell& c) {
    if (c.is_int()) return std::to_chars(p, p + kIntChars, c.v).ptr;
    std::memcpy(p, c.s, c.n);
    return p + c.n;
  }

  std::string& out_;
  std::unique_ptr<char[]> scratch_;
  std::size_t size_;
  std::size_t used_ = 0;
};

// Rows in sorted order lie scattered in memory: fetch each row's cells, and
// then the text they point to, some rows ahead of printing them.
void format_rows(const std::vector<rowref>& rows, std::size_t from, std::size_t to,
                 std::string& buf) {
  row_printer out(buf);
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
    out.row(rows[i]);
  }
  out.flush();
}

}  // namespace

void print_header(const table& t, std::string& buf) {
  append_header(buf, t.name, t.colnames, t.coltypes);
}
void print_lines(std::string_view lines, const std::vector<bool>& is_int, std::string& buf) {
  row_printer out(buf);
  for_each_line(lines, [&](std::string_view line) { out.line(line, is_int); });
  out.flush();
}

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

// ---- Collapsing repeats by hashing ----------------------------------------------------

// How a row is seen when rows are compared for repeats: whole, or cut to a
// list of positions without building the cut rows first.
struct whole_row {
  uint32_t width(const rowref& r) const { return r.w; }
  const cell& at(const rowref& r, uint32_t k) const { return r.c[k]; }
};
struct cut_row {
  const std::vector<int>& idx;
  uint32_t width(const rowref&) const { return static_cast<uint32_t>(idx.size()); }
  // A position the row lacks reads as the integer 0.
  const cell& at(const rowref& r, uint32_t k) const {
    const auto i = static_cast<uint32_t>(idx[k]);
    return i < r.w ? r.c[i] : kZero;
  }
};

uint64_t hash_text(const char* s, std::size_t n) {
  uint64_t h = n * 0x9E3779B97F4A7C15ULL;
  for (; n >= 8; s += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, s, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, s, n);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 29;
  }
  return h;
}

// Equal cells hash alike; the integer 0 and the empty text are one value.
uint64_t hash_cell(const cell& c) {
  if (c.is_int() || c.n == 0) return (static_cast<uint32_t>(c.ival()) + 1ULL) * 0x9E3779B97F4A7C15ULL;
  return hash_text(c.s, c.n);
}

template <class View>
uint32_t hash_row(const rowref& r, const View& view) {
  const uint32_t w = view.width(r);
  uint64_t h = w;
  for (uint32_t k = 0; k < w; ++k) {
    h = (h ^ hash_cell(view.at(r, k))) * 0xD6E8FECA66D9E7A5ULL;
    h ^= h >> 31;
  }
  h *= 0x94D049BB133111EBULL;
  return static_cast<uint32_t>(h >> 32);
}

template <class View>
bool same_row(const rowref& x, const rowref& y, const View& view) {
  const uint32_t w = view.width(x);
  if (w != view.width(y)) return false;
  for (uint32_t k = 0; k < w; ++k) {
    if (!cell_eq(view.at(x, k), view.at(y, k))) return false;
  }
  return true;
}

// Positions of rows in an open-addressing table keyed by the rows' hashes.
// A slot holds the hash above the position + 1; 0 marks it empty. It starts
// small and doubles, so a few distinct rows among many stay in cache.
class row_set {
 public:
  static constexpr uint32_t kAdded = UINT32_MAX;  // find_or_add stored the row
  static constexpr uint32_t kNone = UINT32_MAX;   // peek found no likely match

  // Sized for `expect` distinct rows at first, so that they go in without
  // the table being rebuilt as it grows.
  explicit row_set(std::size_t expect) {
    std::size_t cap = 16;
    while (cap < 2 * expect) cap *= 2;
    slots_.resize(cap);
  }

  // The position of a row stored earlier that same_as(position) says equals
  // the one with hash h; or kAdded after storing pos for it.
  template <class Same>
  uint32_t find_or_add(uint32_t h, uint32_t pos, const Same& same_as) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
      const uint64_t v = slots_[s];
      if (v == 0) {
        slots_[s] = (static_cast<uint64_t>(h) << 32) | (static_cast<uint64_t>(pos) + 1);
        ++count_;
        return kAdded;
      }
      if (static_cast<uint32_t>(v >> 32) == h) {
        const auto at = static_cast<uint32_t>(v) - 1;
        if (same_as(at)) return at;
      }
    }
  }
  void prefetch(uint32_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }
  // The position in the first slot a lookup of h tries, if its hash is h:
  // the likely match. kNone otherwise.
  uint32_t peek(uint32_t h) const {
    const uint64_t v = slots_[h & (slots_.size() - 1)];
    return v != 0 && static_cast<uint32_t>(v >> 32) == h ? static_cast<uint32_t>(v) - 1 : kNone;
  }

 private:
  void grow() {
    std::vector<uint64_t> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const uint64_t v : old) {
      if (v == 0) continue;
      std::size_t s = (v >> 32) & mask;
      while (slots_[s] != 0) s = (s + 1) & mask;
      slots_[s] = v;
    }
  }

  std::vector<uint64_t> slots_;
  std::size_t count_ = 0;
};

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

// Keeps the first of every set of rows that view shows as equal, in their
// given order, and drops the others. With `drop`, rows equal to a row of
// drop go as well.
template <class View>
void keep_first_of_each(std::vector<rowref>& rows, const View& view,
                        const std::vector<rowref>* drop = nullptr) {
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

// The distinct rows of rows as cut sees them, first of each kept, each cut
// into cells of its own: stores made here and added to owners. The cut
// rows are compared against those compact copies rather than against the
// scattered rows they came from, which matters when many rows repeat a few.
// The rows come back in no particular order.
std::vector<rowref> distinct_cuts(const std::vector<rowref>& rows, const cut_row& cut,
                                  std::vector<std::shared_ptr<const void>>& owners) {
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

// ---- Sorting ------------------------------------------------------------------------

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

// Sorts rows ascending; equal rows keep their given order, and of every set
// of equal rows only the first stays (unless the caller knows there are
// none: distinct).
void sort_unique(std::vector<rowref>& rows, bool distinct = false) {
  if (!distinct) keep_first_of_each(rows, whole_row{});
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
  // One hashing pass drops the rows of y and the repeats; an unordered
  // remainder is then sorted, an ordered one stays in order.
  if (!x.empty() && (!y.empty() || !a.sorted)) keep_first_of_each(x, whole_row{}, &y);
  std::vector<rowref>().swap(y);
  if (!a.sorted) sort_unique(x, true);
  result.rows = std::move(x);
  result.sorted = true;
  return result;
}

// ---- Product -------------------------------------------------------------------

namespace {

bool full_width(const std::vector<rowref>& rows, std::size_t width) {
  return std::all_of(rows.begin(), rows.end(), [&](const rowref& r) { return r.w == width; });
}

// The product of a and b, or only those of its rows that satisfy condition.
relation product_rows(relation a, relation b, const logic* condition) {
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
  // A row costs its cells, its reference and its sort entry.
  const std::size_t row_bytes = width * (sizeof(cell) + 8) + 64;
  const std::size_t cap = std::min(g_row_limit, g_memory_budget / row_bytes);
  if (!x.empty() && y.size() > cap / x.size()) {
    throw std::runtime_error(
        "product: the result would hold " + std::to_string(x.size()) + " x " +
        std::to_string(y.size()) + " rows, more than the limit of " + std::to_string(cap) +
        (cap == g_row_limit ? " set by --max-rows" : " that fit in memory"));
  }
  // Rows of full width make combined rows as distinct as the pairs; when the
  // layout keeps a's columns first as well, pairs taken in order are rows in
  // order.
  const bool distinct = full_width(x, na) && full_width(y, width - na);
  bool in_order = distinct;
  for (std::size_t e = 0; e < place.size(); ++e) in_order = in_order && place[e] == static_cast<int>(e);

  // source[k]: the combined position whose cell lands at position k. A row
  // too short for its table reads the integer 0 where it has no cell.
  std::vector<std::size_t> source(width);
  for (std::size_t e = 0; e < place.size(); ++e) source[static_cast<std::size_t>(place[e])] = e;
  std::vector<cell> row(width);
  const auto combine = [&](const rowref& p, const rowref& q) {
    for (std::size_t k = 0; k < width; ++k) {
      const std::size_t s = source[k];
      row[k] = s < na ? (s < p.w ? p.c[s] : kZero) : (s - na < q.w ? q.c[s - na] : kZero);
    }
  };
  std::shared_ptr<std::vector<cell>> store;
  std::size_t count = 0;
  if (condition != nullptr && !distinct) {
    // Equal combined rows need not pass the condition alike (0 and '' are
    // equal but compare differently), so the first of them must be chosen
    // before the condition is tried: build the product, then select.
    a.rows = std::move(x);
    b.rows = std::move(y);
    a.sorted = b.sorted = true;
    relation all = product_rows(std::move(a), std::move(b), nullptr);
    return rel_select(std::move(all), *condition);
  }
  if (condition == nullptr) {
    store = new_cells(x.size() * y.size() * width);
    for (const rowref& p : x) {
      for (const rowref& q : y) {
        combine(p, q);
        store->insert(store->end(), row.begin(), row.end());
      }
    }
    count = x.size() * y.size();
  } else {
    // Only the rows that pass are kept, so the whole product is never built.
    const bound_predicate test(*condition, result.colnames);
    store = std::make_shared<std::vector<cell>>();
    for (const rowref& p : x) {
      for (const rowref& q : y) {
        combine(p, q);
        if (test.test(row.data(), static_cast<uint32_t>(width))) {
          store->insert(store->end(), row.begin(), row.end());
          ++count;
        }
      }
    }
  }
  result.rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    result.rows.push_back({width == 0 ? nullptr : store->data() + i * width,
                           static_cast<uint32_t>(width)});
  }
  if (!in_order) sort_unique(result.rows, distinct);
  adopt(result, a);
  adopt(result, b);
  result.owners.push_back(std::move(store));
  result.sorted = true;
  return result;
}

}  // namespace

relation rel_product(relation a, relation b) {
  return product_rows(std::move(a), std::move(b), nullptr);
}

relation rel_select_product(relation a, relation b, const logic& condition) {
  relation result = product_rows(std::move(a), std::move(b), &condition);
  result.name.clear();
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

  // Repeats are dropped as the rows are seen through the listed positions,
  // so only the rows that stay are cut (views, no values copied); a position
  // the row lacks reads as the integer 0. Then they are sorted.
  result.rows = distinct_cuts(t.rows, cut_row{idx}, result.owners);
  std::vector<rowref>().swap(t.rows);
  sort_unique(result.rows, true);
  adopt(result, t);
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
