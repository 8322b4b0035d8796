// The block reader: a scan for line feeds, with the rows of a block found in
// one pass that stops at the first empty line.
#include "engine/blocks.h"

#include <cstring>

namespace {

// Where a run of row lines that starts at pos (with a line that is not
// empty) ends: at the "\n" that ends its last line, which an empty line or
// the end of the input follows; or at the end of the input when its last
// line has no "\n". Also counts the line feeds inside the run.
std::size_t run_end(std::string_view input, std::size_t pos, uint32_t& inner_feeds) {
  const char* s = input.data();
  const std::size_t n = input.size();
  for (std::size_t i = pos; i < n; ++i) {
    const void* nl = std::memchr(s + i, '\n', n - i);
    if (nl == nullptr) return n;
    i = static_cast<std::size_t>(static_cast<const char*>(nl) - s);
    if (i + 1 == n || s[i + 1] == '\n') return i;
    ++inner_feeds;
  }
  return n;
}

}  // namespace

block_reader::block_reader(std::string_view input) : input_(input) {
  const std::size_t end = input.find('\n');
  query_ = input.substr(0, end == std::string_view::npos ? input.size() : end);
  pos_ = query_.size() + 1;
}

bool block_reader::next(input_block& b) {
  const std::size_t n = input_.size();
  // Empty lines between blocks.
  while (pos_ < n && input_[pos_] == '\n') {
    ++pos_;
    ++line_;
  }
  if (pos_ >= n) return false;
  const std::size_t nl = input_.find('\n', pos_);
  const std::size_t end = nl == std::string_view::npos ? n : nl;
  b = input_block{};
  b.header = input_.substr(pos_, end - pos_);
  b.header_line = ++line_;
  pos_ = end + 1;
  // A header that names no table (it begins with "(") has no rows.
  if (b.header[0] == '(' || pos_ >= n || input_[pos_] == '\n') return true;
  uint32_t feeds = 0;
  const std::size_t stop = run_end(input_, pos_, feeds);
  b.rows = input_.substr(pos_, stop - pos_);
  b.first_row_line = line_ + 1;
  line_ += feeds + 1;
  pos_ = stop + 1;
  return true;
}
