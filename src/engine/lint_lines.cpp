// The warnings about the table lines of an input: each line read again as
// loading reads it, for what loading absorbs without a word; and a second
// line that is the rest of a query wrapped onto it.
#include <algorithm>
#include <map>
#include <string>

#include "engine/blocks.h"
#include "engine/lint.h"
#include "engine/row_text.h"
#include "engine/show_text.h"

namespace {

class table_linter {
 public:
  std::vector<diagnostic> run(std::string_view input) {
    block_reader blocks(input);
    input_block b;
    while (blocks.next(b)) {
      check_line_end(b.header_line, b.header);
      header(b.header_line, b.header);
      for_each_row_line(b.rows, b.first_row_line, [this](uint32_t line_no, std::string_view line) {
        check_line_end(line_no, line);
        row(line_no, line);
      });
    }
    wrapped_query(input);
    if (cr_lines_ > 1) out_[cr_first_].message += " (and " + std::to_string(cr_lines_ - 1) + " more lines)";
    return std::move(out_);
  }

 private:
  void warn(uint32_t line, source_span at, std::string message, std::string group = {}) {
    diagnostic d;
    d.level = severity::warning;
    d.line = line;
    d.span = at;
    d.message = std::move(message);
    d.group = group.empty() ? d.message : std::move(group);
    out_.push_back(std::move(d));
  }

  // A query wrapped onto the second line: the first leaves parentheses
  // open, and the second closes more of them than it opens. Loading reads
  // the second line as a table's header all the same.
  void wrapped_query(std::string_view input) {
    const std::string_view second = line_of(input, 2);
    if (!continues_query(line_of(input, 1), second)) return;
    warn(2, {0, static_cast<uint32_t>(second.size())},
         "this line closes parentheses that the query on line 1 leaves open: it reads as the rest of the "
         "query, but the query must stand on line 1 alone; this line is read as a table's header");
  }

  void check_line_end(uint32_t line_no, std::string_view line) {
    if (line.back() != '\r' || cr_lines_++ > 0) return;
    cr_first_ = out_.size();
    const auto at = static_cast<uint32_t>(line.size() - 1);
    warn(line_no, {at, at + 1},
         "this line ends with a carriage return (a file from Windows?): it is part of the "
         "line's last value, and a line holding only one is not empty, so it does not end a "
         "table block");
  }

  void header(uint32_t line_no, std::string_view line) {
    header_line h = parse_header(line);
    const auto name_end = static_cast<uint32_t>(h.has_open ? line.find('(') : line.size());
    if (!h.has_open) {
      warn(line_no, {0, name_end},
           "this header has no \"(\": it names a table without columns, and the lines up to the "
           "next empty line are its rows");
    }
    const auto seen = defined_.find(h.name);
    if (seen != defined_.end()) {
      warn(line_no, {0, std::max<uint32_t>(name_end, 1)},
           "table " + show_text(h.name) + " is defined again: this block replaces the one on line " +
               std::to_string(seen->second));
    }
    defined_[h.name] = line_no;
    table_ = h.name;
    has_columns_ = h.has_open;
    is_int_ = int_columns(h.coltypes);
    colnames_ = std::move(h.colnames);
  }

  void row(uint32_t line_no, std::string_view line) {
    const std::size_t ncols = is_int_.size();
    std::size_t values = 0;
    uint32_t extra_at = 0;
    // Every value of the line, read as the row reader reads them; those
    // past the last column are the surplus.
    scan_row(line, ncols + 1 + line.size(), [&](std::size_t j, std::string_view value) {
      if (value.empty()) return;
      ++values;
      const auto at = static_cast<uint32_t>(value.data() - line.data());
      if (j == ncols) extra_at = at;
      if (j < ncols && is_int_[j]) int_value(line_no, at, value, j);
    });
    const std::string where = " of table " + show_text(table_);
    const auto count = [](std::size_t n, const char* what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    if (!has_columns_) return;  // the header's own warning says it all
    if (values > ncols) {
      warn(line_no, {extra_at, static_cast<uint32_t>(line.size())},
           "this row has " + count(values, "value") + " for " + count(ncols, "column") + where +
               ": the extra values are ignored",
           "surplus " + table_);
    } else if (values < ncols) {
      const auto end = static_cast<uint32_t>(line.size());
      warn(line_no, {end, end},
           "this row has " + count(values, "value") + " for " + count(ncols, "column") + where +
               ": the missing ones are empty (0 in int columns)",
           "short " + table_);
    }
  }

  void int_value(uint32_t line_no, uint32_t at, std::string_view value, std::size_t column) {
    std::size_t i = value[0] == '+' || value[0] == '-' ? 1 : 0;
    const std::size_t digits_from = i;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') ++i;
    const std::string where = " in int column " + show_text(colnames_[column]) + " of table " + show_text(table_);
    const source_span span{at, at + static_cast<uint32_t>(value.size())};
    if (i < value.size() || i == digits_from) {
      warn(line_no, span,
           show_text(value) + where + " is not an integer: it reads as " + std::to_string(text_to_int(value)),
           "not an integer " + table_);
      return;
    }
    const int32_t v = text_to_int(value);
    const std::string canonical = std::to_string(v);
    std::string_view digits = value.substr(digits_from);
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    const std::string_view shown = std::string_view(canonical).substr(v < 0 ? 1 : 0);
    if (digits != shown && !(v == 0 && digits == "0")) {
      warn(line_no, span,
           std::string(value) + where + " does not fit in 32 bits: it reads as " + canonical,
           "out of range " + table_);
    }
  }

  std::vector<diagnostic> out_;
  std::map<std::string, uint32_t> defined_;
  std::string table_;
  bool has_columns_ = true;
  std::vector<bool> is_int_;
  std::vector<std::string> colnames_;
  std::size_t cr_lines_ = 0;
  std::size_t cr_first_ = 0;
};

}  // namespace

bool continues_query(std::string_view first, std::string_view second) {
  const auto balance = [](std::string_view text) {
    long depth = 0;
    for (const char c : text) depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    return depth;
  };
  return !second.empty() && balance(first) > 0 && balance(second) < 0;
}

std::vector<diagnostic> lint_tables(std::string_view input) { return table_linter().run(input); }
