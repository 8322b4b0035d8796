// Row storage of the loaded tables: growth, parsing of pending lines, and
// giving a shared table rows of its own before it changes.
#include "engine/catalog.h"

#include <algorithm>
#include <cstring>

#include "engine/row_text.h"

stored_table::stored_table(std::string n, std::vector<std::string> names,
                           std::vector<std::string> types)
    : name(std::move(n)), colnames(std::move(names)), coltypes(std::move(types)) {}

std::size_t stored_table::row_count() const {
  return (rows_ ? rows_->rows : 0) + count_lines(pending_);
}

rowref stored_table::row(std::size_t i) const {
  const auto w = static_cast<uint32_t>(width());
  return {w == 0 ? nullptr : rows_->cells.data() + i * w, w};
}

void stored_table::set_pending(std::string_view lines) {
  parse_pending();
  pending_ = lines;
}

std::string_view stored_table::take_pending() {
  const std::string_view lines = pending_;
  pending_ = {};
  return lines;
}

stored_table::rows_data& stored_table::own_rows() {
  if (!rows_) {
    rows_ = std::make_shared<rows_data>();
  } else if (rows_.use_count() > 1) {
    // Shared with a copy of this table: copy the rows, and the texts they
    // view, so that the copy stays as it was.
    auto mine = std::make_shared<rows_data>();
    const std::size_t w = width();
    mine->capacity = rows_->rows;
    mine->rows = rows_->rows;
    mine->cells = cell_array(rows_->rows * w);
    if (rows_->rows * w > 0) {
      std::memcpy(mine->cells.data(), rows_->cells.data(), rows_->rows * w * sizeof(cell));
    }
    // Cells that view a copied text move to the copy; the others view the
    // input text, which outlives both.
    struct moved {
      const char* from;
      std::size_t size;
      const char* to;
    };
    std::vector<moved> texts;
    for (const std::string& t : rows_->texts) {
      texts.push_back({t.data(), t.size(), mine->texts.emplace_back(t).data()});
    }
    std::sort(texts.begin(), texts.end(),
              [](const moved& a, const moved& b) { return std::less<>()(a.from, b.from); });
    for (std::size_t k = 0; k < rows_->rows * w; ++k) {
      cell& c = mine->cells.data()[k];
      if (c.s == nullptr) continue;
      auto it = std::upper_bound(texts.begin(), texts.end(), c.s, [](const char* p, const moved& m) {
        return std::less<>()(p, m.from);
      });
      if (it == texts.begin()) continue;
      --it;
      if (std::less_equal<>()(c.s, it->from + it->size)) c.s = it->to + (c.s - it->from);
    }
    rows_ = std::move(mine);
  }
  return *rows_;
}

cell* stored_table::room_for(rows_data& d, std::size_t more) {
  const std::size_t w = width();
  if (d.rows + more > d.capacity) {
    const std::size_t cap = std::max(d.rows + more, d.capacity * 2);
    cell_array bigger(cap * w);
    if (d.rows * w > 0) std::memcpy(bigger.data(), d.cells.data(), d.rows * w * sizeof(cell));
    d.cells = std::move(bigger);
    d.capacity = cap;
  }
  cell* at = d.cells.data() == nullptr ? nullptr : d.cells.data() + d.rows * w;
  d.rows += more;
  return at;
}

cell* stored_table::extend(std::size_t rows) {
  rows_data& d = own_rows();
  return room_for(d, rows);
}

void stored_table::parse_pending() {
  if (pending_.empty()) return;
  const std::string_view lines = take_pending();
  const std::vector<bool> is_int = int_columns(coltypes);
  cell* out = extend(count_lines(lines));
  for_each_line(lines, [&](std::string_view line) {
    scan_cells(line, is_int, out);
    out += is_int.size();
  });
}

void stored_table::add_row(std::string_view line) {
  parse_pending();
  rows_data& d = own_rows();
  const std::string& text = d.texts.emplace_back(line);
  cell* out = room_for(d, 1);
  scan_cells(text, int_columns(coltypes), out);
}
