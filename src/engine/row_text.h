// Reading the table lines of an input: a header line into the table's name
// and columns, and a row line into one value per column. Both readers work
// on views and copy nothing but what they return.
#ifndef RELALG_ENGINE_ROW_TEXT_H
#define RELALG_ENGINE_ROW_TEXT_H

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cell.h"

// A header line "NAME(col type, ...)" as read: the name is every byte before
// the first "(", each definition between "(" or "," and "," or the ")" that
// closes at depth 0 is a column name and a type word (blank-separated, the
// rest of the definition ignored). A line without "(" is all name and
// defines no columns; without a closing ")" the list ends at the line's end.
struct header_line {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  bool has_open = false;   // the line holds a "("
  bool closed = false;     // the column list ends at a ")"
};
header_line parse_header(std::string_view line);

// Which columns hold integers: those whose type word is exactly "int".
std::vector<bool> int_columns(const std::vector<std::string>& coltypes);

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

// Parses a row line into is_int.size() cells at out: integers where is_int
// says so, else views of the line's text.
inline void scan_cells(std::string_view line, const std::vector<bool>& is_int, cell* out) {
  scan_row(line, is_int.size(), [&](std::size_t j, std::string_view value) {
    out[j] = is_int[j] ? cell::of_int(text_to_int(value)) : cell::of_text(value);
  });
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

// The number of lines for_each_line finds in text.
std::size_t count_lines(std::string_view text);

// Where a piece of about `size` bytes of text that starts at `from` ends:
// just after a "\n", or at the end of the text.
inline std::size_t piece_end(std::string_view text, std::size_t from, std::size_t size) {
  if (text.size() - from <= size) return text.size();
  const std::size_t nl = text.find('\n', from + size - 1);
  return nl == std::string_view::npos ? text.size() : nl + 1;
}

#endif
