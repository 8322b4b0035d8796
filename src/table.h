// A named relation, its header and row parsers, its printed form and the
// relational operators over it.
#ifndef RELALG_TABLE_H
#define RELALG_TABLE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "t_object.h"

using row = std::vector<t_object>;

class table {
 public:
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::list<row> rows;

  std::string getname() const { return name; }

  // Parses a header line "NAME(col type, ...)": sets the name and appends
  // the columns. A line without "(" is all name and defines no columns.
  void def(std::string line);

  // Parses one row line and appends the row.
  void newline(std::string line);

  // What newline does, without copying the line first.
  void append_row(std::string_view line);
};

// Cuts a row line into the values of its ncols columns and calls
// emit(column, value) for each, in column order. Values are separated by
// runs of blanks and commas, except inside the quoted run of a value (after
// its first apostrophe and before its second); a column the line has no
// value for receives the empty text; text after the last value is ignored.
template <class Emit>
void scan_row(std::string_view line, std::size_t ncols, Emit&& emit) {
  const char* const s = line.data();
  const std::size_t n = line.size();
  std::size_t pos = 0;
  for (std::size_t j = 0; j < ncols; ++j) {
    while (pos < n && (s[pos] == ' ' || s[pos] == ',')) ++pos;
    const std::size_t start = pos;
    bool quoted = false;  // past the value's first apostrophe
    while (pos < n) {
      const char c = s[pos];
      if (c == ' ' || c == ',') break;
      if (c == '\'' && !quoted) {
        // Blanks and commas up to the next apostrophe belong to the value;
        // with no next apostrophe the value runs to the end of the line.
        quoted = true;
        const void* close = std::memchr(s + pos + 1, '\'', n - pos - 1);
        pos = close == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(close) - s) + 1;
        continue;
      }
      ++pos;
    }
    emit(j, line.substr(start, pos - start));
    if (pos < n) ++pos;  // past the blank or comma that ended the value
  }
}

// Calls fn(line) for each line of a run of row lines: the pieces between
// "\n"s. A final "\n" does not start another line.
template <class Fn>
void for_each_line(std::string_view text, Fn&& fn) {
  const char* s = text.data();
  const std::size_t n = text.size();
  std::size_t from = 0;
  while (from < n) {
    const void* nl = std::memchr(s + from, '\n', n - from);
    const std::size_t to = nl == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(nl) - s);
    fn(text.substr(from, to - from));
    from = to + 1;
  }
}

// Where a piece of about `size` bytes of text that starts at `from` ends:
// just after a "\n", or at the end of the text.
inline std::size_t piece_end(std::string_view text, std::size_t from, std::size_t size) {
  if (text.size() - from <= size) return text.size();
  const std::size_t nl = text.find('\n', from + size - 1);
  return nl == std::string_view::npos ? text.size() : nl + 1;
}

// A cell as evaluation handles it: an integer, or a view of string bytes
// that live elsewhere (the input text, a table's values, a predicate's
// literals). It compares exactly as the t_object it stands for.
struct cell {
  const char* s = nullptr;  // null for an integer
  uint32_t n = 0;
  int32_t v = 0;

  static cell of_int(int32_t value) { return cell{nullptr, 0, value}; }
  static cell of_text(std::string_view t) {
    return cell{t.data() != nullptr ? t.data() : "", static_cast<uint32_t>(t.size()), 0};
  }
  static cell of(const t_object& o) { return o.is_int ? of_int(o.ival) : of_text(o.sval); }

  bool is_int() const { return s == nullptr; }
  int32_t ival() const { return s == nullptr ? v : 0; }
  std::string_view text() const { return s == nullptr ? std::string_view() : std::string_view(s, n); }
  t_object value() const { return is_int() ? t_object(v) : t_object(std::string(text())); }
};

inline bool cell_eq(const cell& a, const cell& b) {
  return a.ival() == b.ival() && a.text() == b.text();
}
inline bool cell_lt(const cell& a, const cell& b) {
  return a.is_int() ? a.ival() < b.ival() : a.text() < b.text();
}

// Storage for cells that are all written after it is made: unlike a vector
// it is not zeroed first, so its pages are first touched by the threads
// that fill them, in parallel.
class cell_array {
 public:
  cell_array() = default;
  explicit cell_array(std::size_t n) : data_(std::allocator<cell>().allocate(n)), size_(n) {}
  cell_array(cell_array&& o) noexcept : data_(o.data_), size_(o.size_) {
    o.data_ = nullptr;
    o.size_ = 0;
  }
  cell_array& operator=(cell_array&& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    return *this;
  }
  ~cell_array() {
    if (data_ != nullptr) std::allocator<cell>().deallocate(data_, size_);
  }

  cell* data() { return data_; }
  const cell* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  cell* data_ = nullptr;
  std::size_t size_ = 0;
};

// The rows of a table loaded straight into cells: `rows` runs of the
// table's width, one after another.
struct cell_block {
  cell_array cells;
  std::size_t rows = 0;
};

// A row as evaluation passes it: its cells, by address.
struct rowref {
  const cell* c = nullptr;
  uint32_t w = 0;
};

// Which columns of t hold integers: those whose type word is exactly "int".
std::vector<bool> int_columns(const table& t);

// Parses a row line into is_int.size() cells at out: integers where is_int
// says so, else views of the line's text.
inline void scan_cells(std::string_view line, const std::vector<bool>& is_int, cell* out) {
  scan_row(line, is_int.size(), [&](std::size_t j, std::string_view value) {
    out[j] = is_int[j] ? cell::of_int(text_to_int(value)) : cell::of_text(value);
  });
}

// Rows as evaluation passes them between operators: by address, so that no
// operator copies a row it only reorders, filters or renames, and no value
// is copied at all. The cells live in the catalog, which outlives
// evaluation, or in storage that `owners` keeps alive.
struct relation {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<rowref> rows;
  std::vector<std::shared_ptr<const void>> owners;
  // The rows are ascending and no two are equal, as the sort-and-collapse
  // step leaves them.
  bool sorted = false;

  // Views of t's values; t must outlive the relation and stay unchanged.
  static relation of(const table& t);
  // Borrows rows loaded straight into one cell array, as runs of header's
  // width; the block must outlive the relation.
  static relation of(const table& header, const struct cell_block& block);
  table to_table() const;
};

// Sorts and collapses rows given by address.
void rel_sort(std::vector<rowref>& rows);

relation rel_union(relation a, relation b);
relation rel_minus(relation a, relation b);
relation rel_product(relation a, relation b);
relation rel_project(relation t, const std::vector<std::string>& cols);
relation rel_rename(relation t, const std::vector<std::string>& names);
class logic;
relation rel_select(relation t, const logic& condition);
// select over product without building the product: the same rows as
// rel_select(rel_product(a, b), condition).
relation rel_select_product(relation a, relation b, const logic& condition);

// Writes the header line and one line per row, each ended by "\n".
std::ostream& operator<<(std::ostream& out, const table& t);

// Appends the printed form of t to buf. Whenever buf grows past chunk bytes
// it is handed to spill, which must consume and clear it, so a large table
// streams out in chunks; what is left at the end stays in buf.
void print_table(const table& t, std::string& buf,
                 const std::function<void(std::string&)>& spill,
                 std::size_t chunk = 1 << 20);
// The two parts of the printed form: the header line, and the row lines of
// a table whose integer columns is_int marks, parsed and printed in one pass.
void print_header(const table& t, std::string& buf);
void print_lines(std::string_view lines, const std::vector<bool>& is_int, std::string& buf);
void print_table(const relation& t, std::string& buf,
                 const std::function<void(std::string&)>& spill,
                 std::size_t chunk = 1 << 20);

// Rows compare lexicographically by cell_order; equal rows have the same
// width and pairwise == cells.
int row_order(const row& x, const row& y);
bool row_equal(const row& x, const row& y);

// Sorts rows ascending with a stable sort and keeps the first row of every
// run of equal rows.
void sort_and_collapse(std::list<row>& rows);

table operator+(const table& a, const table& b);  // union
table operator-(const table& a, const table& b);  // difference
table operator*(const table& a, const table& b);  // Cartesian product
table project(const table& t, const std::vector<std::string>& cols);
table rename(const table& t, const std::vector<std::string>& names);
table select(const table& t, const std::string& condition);
table select(const table& t, const logic& condition);

// A product is refused before it builds more rows than the row limit
// (--max-rows) or more than the memory budget holds. Both start unlimited;
// the driver sets them.
void set_row_limit(std::size_t rows);
void set_memory_budget(std::size_t bytes);

// Runs a, and b on a second thread when one can be started. An exception
// from either is rethrown once both have finished.
void run_both(const std::function<void()>& a, const std::function<void()>& b);

// Gather: element i of the result is v[idx[i]].
template <class T>
std::vector<T> vector_project(const std::vector<T>& v, const std::vector<int>& idx) {
  std::vector<T> out;
  out.reserve(idx.size());
  for (int i : idx) out.push_back(v[static_cast<std::size_t>(i)]);
  return out;
}

// Scatter: a copy of v in which position p[i] receives v[i], for each i in
// turn; positions no entry names keep their copied value.
template <class T>
std::vector<T> vector_swap(const std::vector<T>& v, const std::vector<int>& p) {
  std::vector<T> out(v);
  for (std::size_t i = 0; i < p.size() && i < v.size(); ++i) {
    out[static_cast<std::size_t>(p[i])] = v[i];
  }
  return out;
}

#endif
