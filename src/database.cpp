#include "database.h"

#include <algorithm>
#include <atomic>
#include <functional>

std::string database::addtable(std::string header) {
  table t;
  t.def(std::move(header));
  std::string name = t.getname();
  tables.insert_or_assign(name, std::move(t));
  return name;
}

void database::addline(std::string name, std::string line) {
  tables[name].newline(std::move(line));
}

table database::gettable(std::string name) { return tables[name]; }

bool database::istable(std::string name) const { return tables.find(name) != tables.end(); }

const table* database::find(std::string_view name) const {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}

table* database::find(std::string_view name) {
  const auto it = tables.find(name);
  return it == tables.end() ? nullptr : &it->second;
}

void database::materialize() {
  // Each table's lines are cut into pieces at line ends. The lines of every
  // piece are counted, which places each piece's rows in its table's block;
  // then the pieces are parsed. Both passes spread the pieces over two
  // threads, and rows keep their input order.
  struct piece {
    std::string_view text;
    std::size_t first_row;
    std::size_t rows;
    cell_block* block;
    const std::vector<bool>* is_int;
  };
  constexpr std::size_t kPiece = 1 << 18;
  std::vector<piece> pieces;
  std::vector<std::vector<bool>> kinds;
  kinds.reserve(pending.size());  // pieces point into it
  std::vector<std::pair<std::string, std::shared_ptr<cell_block>>> made;
  for (const auto& [name, text] : pending) {
    const table* t = find(name);
    if (t == nullptr) continue;
    auto block = std::make_shared<cell_block>();
    const std::vector<bool>& is_int = kinds.emplace_back(int_columns(*t));
    for (std::size_t from = 0; from < text.size();) {
      const std::size_t to = piece_end(text, from, kPiece);
      pieces.push_back({text.substr(from, to - from), 0, 0, block.get(), &is_int});
      from = to;
    }
    made.emplace_back(name, std::move(block));
  }
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
  each_piece([](piece& p) {
    p.rows = static_cast<std::size_t>(std::count(p.text.begin(), p.text.end(), '\n')) +
             (p.text.back() != '\n' ? 1 : 0);
  });
  for (piece& p : pieces) {
    p.first_row = p.block->rows;
    p.block->rows += p.rows;
  }
  for (std::size_t k = 0; k < made.size(); ++k) {
    cell_block& block = *made[k].second;
    block.cells = cell_array(block.rows * kinds[k].size());
  }
  each_piece([](piece& p) {
    const std::vector<bool>& is_int = *p.is_int;
    cell* out = p.block->cells.data() + p.first_row * is_int.size();
    for_each_line(p.text, [&](std::string_view line) {
      scan_cells(line, is_int, out);
      out += is_int.size();
    });
  });
  for (auto& [name, block] : made) blocks.insert_or_assign(name, std::move(block));
  pending.clear();
}
