// Cells and rows as evaluation handles them. A cell is an integer or a view
// of string bytes that live elsewhere (the input text, a catalog table's
// own texts, a condition's literals), so that reordering, filtering and
// cutting rows never copies a value. A row travels by address: its cells
// and its width.
#ifndef RELALG_ENGINE_CELL_H
#define RELALG_ENGINE_CELL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "t_object.h"

// Compares exactly as the t_object it stands for: the integer 0 and the
// empty text are equal.
struct cell {
  const char* s = nullptr;  // null for an integer
  uint32_t n = 0;
  int32_t v = 0;

  static cell of_int(int32_t value) { return cell{nullptr, 0, value}; }
  static cell of_text(std::string_view t) {
    return cell{t.data() != nullptr ? t.data() : "", static_cast<uint32_t>(t.size()), 0};
  }
  // A view of o's text: o must outlive the cell.
  static cell of(const t_object& o) { return o.is_int ? of_int(o.ival) : of_text(o.sval); }

  bool is_int() const { return s == nullptr; }
  int32_t ival() const { return s == nullptr ? v : 0; }
  std::string_view text() const { return s == nullptr ? std::string_view() : std::string_view(s, n); }
  t_object value() const { return is_int() ? t_object(v) : t_object(std::string(text())); }
};

inline bool cell_eq(const cell& a, const cell& b) {
  return a.ival() == b.ival() && a.text() == b.text();
}
// The ordering of the predicate language: the left cell's kind decides.
inline bool cell_lt(const cell& a, const cell& b) {
  return a.is_int() ? a.ival() < b.ival() : a.text() < b.text();
}
// The total order rows sort by (see value_order).
inline int cell_cmp(const cell& a, const cell& b) {
  return value_order(a.ival(), a.text(), b.ival(), b.text());
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
  cell_array(const cell_array&) = delete;
  cell_array& operator=(const cell_array&) = delete;
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

// A row as evaluation passes it: its cells, by address.
struct rowref {
  const cell* c = nullptr;
  uint32_t w = 0;
};

#endif
