// The one reading of an input text's layout: line 1 is the query; the
// lines after it are table blocks, each a header line followed by its row
// lines up to the next empty line (or the end), with any number of empty
// lines between blocks. A header whose table name is empty (the line
// begins with "(") has no rows: the next line that is not empty is a header
// again. Loading, the table warnings and grading's databases all read
// blocks through this reader, so they agree on which line is what.
#ifndef RELALG_ENGINE_BLOCKS_H
#define RELALG_ENGINE_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <string_view>

// One block: its header line, and its row lines as one run of the input
// (lines separated by "\n", without the line feed after the last; empty
// when it has no rows). Line numbers count from 1, the query line.
struct input_block {
  std::string_view header;
  uint32_t header_line = 0;
  std::string_view rows;
  uint32_t first_row_line = 0;
};

class block_reader {
 public:
  explicit block_reader(std::string_view input);

  // The query line: the input's first line, without its line feed.
  std::string_view query() const { return query_; }

  // The next block, or false when there is none.
  bool next(input_block& b);

 private:
  std::string_view input_;
  std::string_view query_;
  std::size_t pos_ = 0;   // the start of the next line to read
  uint32_t line_ = 1;     // the number of the line that starts at pos_, less one
};

// Calls fn(line_number, line) for each line of a run of row lines.
template <class Fn>
void for_each_row_line(std::string_view rows, uint32_t first_line, Fn&& fn) {
  if (rows.empty()) return;
  std::size_t from = 0;
  for (uint32_t line = first_line;; ++line) {
    const std::size_t nl = rows.find('\n', from);
    fn(line, rows.substr(from, (nl == std::string_view::npos ? rows.size() : nl) - from));
    if (nl == std::string_view::npos) return;
    from = nl + 1;
  }
}

#endif
