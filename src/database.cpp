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
  // Work is cut into chunks of lines; each chunk is parsed into its own row
  // list, and the lists are spliced in order afterwards.
  struct chunk {
    table* target;
    const std::string_view* first;
    std::size_t count;
    std::list<row> rows;
  };
  constexpr std::size_t kChunk = 1 << 14;
  std::vector<chunk> chunks;
  for (auto& [name, lines] : pending) {
    table* t = find(name);
    if (t == nullptr) continue;
    for (std::size_t i = 0; i < lines.size(); i += kChunk) {
      chunks.push_back({t, lines.data() + i, std::min(kChunk, lines.size() - i), {}});
    }
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  const auto work = [&]() {
    try {
      for (std::size_t c = next++; c < chunks.size() && !failed; c = next++) {
        table scratch;
        scratch.colnames = chunks[c].target->colnames;
        scratch.coltypes = chunks[c].target->coltypes;
        for (std::size_t i = 0; i < chunks[c].count; ++i) scratch.append_row(chunks[c].first[i]);
        chunks[c].rows.swap(scratch.rows);
      }
    } catch (...) {
      failed = true;  // stops the other worker early
      throw;
    }
  };
  if (chunks.size() > 1) {
    run_both(work, work);
  } else {
    work();
  }
  for (chunk& c : chunks) c.target->rows.splice(c.target->rows.end(), c.rows);
  pending.clear();
}
