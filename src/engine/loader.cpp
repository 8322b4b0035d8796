// The loading loop over an input text, and the parallel parse of the row
// lines it leaves pending.
#include "engine/loader.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/blocks.h"
#include "engine/parallel.h"
#include "engine/row_text.h"

std::string_view echo_suffix(std::string_view input) {
  if (input.empty()) return "\n";
  return input.back() == '\n' ? "\n" : "\n\n";
}

stored_table& add_table(table_map& tables, std::string_view header) {
  // A header replaces any table of its name whole, rows included.
  header_line h = parse_header(header);
  std::string name = h.name;
  return tables.insert_or_assign(std::move(name), stored_table(std::move(h.name), std::move(h.colnames),
                                                               std::move(h.coltypes)))
      .first->second;
}

std::string load_tables(std::string_view input, table_map& tables, bool keep_views) {
  block_reader blocks(input);
  input_block b;
  while (blocks.next(b)) {
    stored_table& t = add_table(tables, b.header);
    if (b.rows.empty()) continue;
    if (keep_views) {
      // Kept as one run of lines, cut up when it is parsed.
      t.set_pending(b.rows);
    } else {
      for_each_row_line(b.rows, b.first_row_line, [&t](uint32_t, std::string_view line) { t.add_row(line); });
    }
  }
  return std::string(blocks.query());
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
