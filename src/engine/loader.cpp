// The loading loop over an input text, and the parallel parse of the row
// lines it leaves pending.
#include "engine/loader.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/parallel.h"
#include "engine/row_text.h"

std::string_view echo_suffix(std::string_view input) {
  if (input.empty()) return "\n";
  return input.back() == '\n' ? "\n" : "\n\n";
}

namespace {

// Where a block of row lines that starts at pos (with a line that is not
// empty) ends: at the "\n" that ends its last line, which an empty line or
// the end of the input follows; or at the end of the input when its last
// line has no "\n".
std::size_t block_end(std::string_view input, std::size_t pos) {
  const char* s = input.data();
  const std::size_t n = input.size();
  for (std::size_t i = pos; i < n; ++i) {
    const void* nl = std::memchr(s + i, '\n', n - i);
    if (nl == nullptr) return n;
    i = static_cast<std::size_t>(static_cast<const char*>(nl) - s);
    if (i + 1 == n || s[i + 1] == '\n') return i;
  }
  return n;
}

}  // namespace

std::string load_tables(std::string_view input, table_map& tables, bool keep_views) {
  const std::size_t n = input.size();
  std::size_t end = input.find('\n');
  if (end == std::string_view::npos) end = n;
  std::string query(input.substr(0, end));
  std::size_t pos = end + 1;
  // The table whose rows are being read; null between blocks.
  stored_table* current = nullptr;
  while (pos < n) {
    if (current != nullptr && keep_views) {
      // The rows run up to the next empty line: found in one scan, and kept
      // as one run of lines that is cut up when it is parsed.
      if (input[pos] == '\n') {
        ++pos;  // an empty line at once: no rows
      } else {
        const std::size_t stop = block_end(input, pos);
        current->set_pending(input.substr(pos, stop - pos));
        pos = stop + 2;  // past the end of the last row line and the empty line
      }
      current = nullptr;
      continue;
    }
    end = input.find('\n', pos);
    if (end == std::string_view::npos) end = n;
    const std::string_view line = input.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) {
      current = nullptr;
    } else if (current == nullptr) {
      // A header replaces any table of its name whole, rows included.
      header_line h = parse_header(line);
      std::string name = h.name;
      stored_table& t = tables.insert_or_assign(
          name, stored_table(std::move(h.name), std::move(h.colnames), std::move(h.coltypes))).first->second;
      if (!name.empty()) current = &t;
    } else {
      current->add_row(line);
    }
  }
  return query;
}

void parse_all_pending(table_map& tables) {
  // Each table's lines are cut into pieces at line ends. The lines of every
  // piece are counted, which places each piece's rows in its table's
  // storage; then the pieces are parsed. Both passes spread the pieces over
  // two threads, and rows keep their input order.
  struct piece {
    std::string_view text;
    std::size_t rows;
    cell* out;
    const std::vector<bool>* is_int;
  };
  constexpr std::size_t kPiece = 1 << 18;
  std::vector<piece> pieces;
  std::vector<std::vector<bool>> kinds;
  std::vector<std::pair<stored_table*, std::size_t>> owners;  // table, its first piece
  for (auto& [name, t] : tables) {
    if (t.parsed()) continue;
    owners.emplace_back(&t, pieces.size());
    const std::string_view text = t.pending();
    for (std::size_t from = 0; from < text.size();) {
      const std::size_t to = piece_end(text, from, kPiece);
      pieces.push_back({text.substr(from, to - from), 0, nullptr, nullptr});
      from = to;
    }
  }
  kinds.reserve(owners.size());  // pieces point into it
  const auto each_piece = [&](const std::function<void(piece&)>& fn) {
    std::atomic<std::size_t> next{0};
    const auto work = [&]() {
      for (std::size_t i = next++; i < pieces.size(); i = next++) fn(pieces[i]);
    };
    if (pieces.size() > 1) {
      run_both(work, work);
    } else {
      work();
    }
  };
  each_piece([](piece& p) { p.rows = count_lines(p.text); });
  for (std::size_t k = 0; k < owners.size(); ++k) {
    stored_table& t = *owners[k].first;
    const std::size_t first = owners[k].second;
    const std::size_t last = k + 1 < owners.size() ? owners[k + 1].second : pieces.size();
    std::size_t rows = 0;
    for (std::size_t i = first; i < last; ++i) rows += pieces[i].rows;
    const std::vector<bool>& is_int = kinds.emplace_back(int_columns(t.coltypes));
    t.take_pending();
    cell* out = t.extend(rows);
    for (std::size_t i = first; i < last; ++i) {
      pieces[i].out = out;
      pieces[i].is_int = &is_int;
      if (out != nullptr) out += pieces[i].rows * is_int.size();
    }
  }
  each_piece([](piece& p) {
    cell* out = p.out;
    const std::size_t w = p.is_int->size();
    for_each_line(p.text, [&](std::string_view line) {
      scan_cells(line, *p.is_int, out);
      out += w;
    });
  });
}
