// The header-line reader; the row-line reader is inline in the header, since
// the loader and the streaming printer call it once per row.
#include "engine/row_text.h"

#include <algorithm>

header_line parse_header(std::string_view line) {
  header_line h;
  const std::size_t open = line.find('(');
  if (open == std::string_view::npos) {
    h.name = line;
    return h;
  }
  h.has_open = true;
  h.name = line.substr(0, open);
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
    const std::string_view d = line.substr(start, pos - start);
    std::size_t i = 0;
    while (i < d.size() && d[i] == ' ') ++i;
    std::size_t j = i;
    while (j < d.size() && d[j] != ' ') ++j;
    h.colnames.emplace_back(d.substr(i, j - i));
    while (j < d.size() && d[j] == ' ') ++j;
    std::size_t k = j;
    while (k < d.size() && d[k] != ' ') ++k;
    h.coltypes.emplace_back(d.substr(j, k - j));
  }
  h.closed = pos < n;
  return h;
}

std::vector<bool> int_columns(const std::vector<std::string>& coltypes) {
  std::vector<bool> is_int;
  is_int.reserve(coltypes.size());
  for (const std::string& type : coltypes) is_int.push_back(type == "int");
  return is_int;
}

std::size_t count_lines(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
         (text.back() != '\n' ? 1 : 0);
}
