#include "database.h"

#include <algorithm>
#include <atomic>

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
  // Work is cut into chunks of lines; each line fills its own run of cells,
  // so chunks need no merging afterwards.
  struct chunk {
    const std::vector<std::string_view>* lines;
    std::size_t from;
    std::size_t to;
    cell_block* block;
    const std::vector<bool>* is_int;
  };
  constexpr std::size_t kChunk = 1 << 14;
  std::vector<chunk> chunks;
  std::vector<std::vector<bool>> kinds;
  kinds.reserve(pending.size());
  std::vector<std::pair<std::string, std::shared_ptr<cell_block>>> made;
  for (const auto& [name, lines] : pending) {
    const table* t = find(name);
    if (t == nullptr) continue;
    auto block = std::make_shared<cell_block>();
    block->rows = lines.size();
    block->cells.resize(lines.size() * t->coltypes.size());
    const std::vector<bool>& is_int = kinds.emplace_back(int_columns(*t));
    for (std::size_t i = 0; i < lines.size(); i += kChunk) {
      chunks.push_back({&lines, i, std::min(lines.size(), i + kChunk), block.get(), &is_int});
    }
    made.emplace_back(name, std::move(block));
  }
  std::atomic<std::size_t> next{0};
  const auto work = [&]() {
    for (std::size_t c = next++; c < chunks.size(); c = next++) {
      const chunk& k = chunks[c];
      const std::vector<bool>& is_int = *k.is_int;
      const std::size_t w = is_int.size();
      for (std::size_t i = k.from; i < k.to; ++i) {
        scan_cells((*k.lines)[i], is_int, k.block->cells.data() + i * w);
      }
    }
  };
  if (chunks.size() > 1) {
    run_both(work, work);
  } else {
    work();
  }
  for (auto& [name, block] : made) blocks.insert_or_assign(name, std::move(block));
  pending.clear();
}
