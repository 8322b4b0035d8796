// Formatting rows into output bytes. Values are written through a scratch
// area with one room check per row; integers by to_chars.
#include "engine/printer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

#include "engine/parallel.h"
#include "engine/row_text.h"

namespace {

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

  // A row line parsed into cells, printed when keep accepts it.
  void line_if(std::string_view text, const std::vector<bool>& is_int, std::vector<cell>& row,
               const std::function<bool(const cell*, uint32_t)>& keep) {
    scan_cells(text, is_int, row.data());
    const auto w = static_cast<uint32_t>(row.size());
    if (keep(row.data(), w)) this->row(rowref{row.data(), w});
  }

  std::size_t pending() const { return used_; }

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
// With a spill, buf is handed over whenever it and the scratch area hold
// chunk bytes or more.
void format_rows(const std::vector<rowref>& rows, std::size_t from, std::size_t to,
                 std::string& buf, const spill_fn* spill = nullptr, std::size_t chunk = 0) {
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
    if (spill != nullptr && out.pending() + buf.size() >= chunk) {
      out.flush();
      (*spill)(buf);
    }
  }
  out.flush();
}

}  // namespace

void print_header(std::string_view name, const std::vector<std::string>& colnames,
                  const std::vector<std::string>& coltypes, std::string& buf) {
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

void print_lines(std::string_view lines, const std::vector<bool>& is_int, std::string& buf) {
  row_printer out(buf);
  for_each_line(lines, [&](std::string_view line) { out.line(line, is_int); });
  out.flush();
}

void print_lines_if(std::string_view lines, const std::vector<bool>& is_int,
                    const std::function<bool(const cell*, uint32_t)>& keep, std::string& buf) {
  row_printer out(buf);
  std::vector<cell> row(is_int.size());
  for_each_line(lines, [&](std::string_view line) { out.line_if(line, is_int, row, keep); });
  out.flush();
}

void print_relation(const relation& t, std::string& buf, const spill_fn& spill, std::size_t chunk) {
  print_header(t.name, t.colnames, t.coltypes, buf);
  const std::size_t n = t.rows.size();
  // Formatted two blocks at a time, one per thread.
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
      format_rows(t.rows, b, m2, buf, &spill, chunk);
    }
    if (buf.size() >= chunk) spill(buf);
  }
}

void stream_table(const stored_table& t, std::string& buf, const spill_fn& spill) {
  print_header(t.name, t.colnames, t.coltypes, buf);
  const std::string_view lines = t.pending();
  const std::vector<bool> is_int = int_columns(t.coltypes);
  constexpr std::size_t kPiece = 1 << 20;
  std::string other;
  for (std::size_t from = 0; from < lines.size();) {
    const std::size_t m1 = piece_end(lines, from, kPiece);
    const std::size_t m2 = m1 < lines.size() ? piece_end(lines, m1, kPiece) : m1;
    if (m1 < m2) {
      run_both([&] { print_lines(lines.substr(from, m1 - from), is_int, buf); },
               [&] { print_lines(lines.substr(m1, m2 - m1), is_int, other); });
    } else {
      print_lines(lines.substr(from, m1 - from), is_int, buf);
    }
    spill(buf);
    spill(other);
    from = m2;
  }
}
