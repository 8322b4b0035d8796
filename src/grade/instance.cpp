// Reading a source's cells as typed values, and writing an instance back as
// an input text whose rows read back as the same values.
#include "grade/instance.h"

#include <charconv>

namespace grade {

std::optional<std::size_t> table_info::column(std::string_view n) const {
  for (std::size_t c = columns.size(); c-- > 0;) {
    if (columns[c].name == n) return c;
  }
  return std::nullopt;
}

std::optional<std::size_t> schema::table(std::string_view n) const {
  for (std::size_t t = 0; t < tables.size(); ++t) {
    if (tables[t].name == n) return t;
  }
  return std::nullopt;
}

std::size_t instance::row_count() const {
  std::size_t n = 0;
  for (const table_rows& t : tables) n += t.rows.size();
  return n;
}

std::optional<typed_source> read_typed(const source& s, const engine_options& opt) {
  engine_db e(s, opt);
  const std::vector<std::vector<std::string>> cells = e.row_cells(s);
  if (cells.size() != s.row_count) return std::nullopt;
  typed_source out;
  out.data.tables.resize(s.tables.size());
  for (std::size_t t = 0; t < s.tables.size(); ++t) {
    const source_table& st = s.tables[t];
    table_info info;
    info.name = st.name;
    info.header = std::string(st.header);
    const evaluation whole = e.evaluate(st.name);
    if (!whole.ok()) return std::nullopt;
    const std::vector<std::string> names = whole.column_names();
    const std::vector<std::string> types = whole.column_types();
    for (std::size_t c = 0; c < names.size(); ++c) {
      info.columns.push_back({names[c], types[c], types[c] == "int"});
    }
    instance::table_rows& rows = out.data.tables[t];
    for (std::size_t r = 0; r < st.rows.size(); ++r) {
      const std::vector<std::string>& printed = cells[st.first + r];
      if (printed.size() != info.columns.size()) return std::nullopt;
      row_values row;
      for (std::size_t c = 0; c < printed.size(); ++c) {
        if (info.columns[c].is_int) {
          std::int32_t n = 0;
          const std::string& p = printed[c];
          std::from_chars(p.data(), p.data() + p.size(), n);
          row.push_back(value::of_int(n));
        } else {
          row.push_back(value::of_text(printed[c]));
        }
      }
      rows.rows.push_back(std::move(row));
      rows.lines.emplace_back(st.rows[r]);
    }
    out.sch.tables.push_back(std::move(info));
  }
  return out;
}

bool writable_text(std::string_view t, bool last) {
  if (t.empty() || t.find('\n') != std::string_view::npos) return false;
  const std::size_t open = t.find('\'');
  const std::size_t plain = open == std::string_view::npos ? t.size() : open;
  if (t.substr(0, plain).find_first_of(" ,") != std::string_view::npos) return false;
  if (open == std::string_view::npos) return true;
  const std::size_t close = t.find('\'', open + 1);
  // Without a closing apostrophe the value runs to the end of the line.
  if (close == std::string_view::npos) return last;
  return t.substr(close + 1).find_first_of(" ,") == std::string_view::npos;
}

std::optional<std::string> render_instance(const std::string& query, const schema& sch, const instance& db,
                                           const std::vector<bool>& keep) {
  std::string out = query + "\n";
  bool first = true;
  for (std::size_t t = 0; t < sch.tables.size(); ++t) {
    if (!keep.empty() && !keep[t]) continue;
    if (!first) out += "\n";
    first = false;
    out += sch.tables[t].header + "\n";
    const instance::table_rows& rows = db.tables[t];
    for (std::size_t r = 0; r < rows.rows.size(); ++r) {
      if (r < rows.lines.size() && !rows.lines[r].empty()) {
        out += rows.lines[r] + "\n";
        continue;
      }
      const row_values& row = rows.rows[r];
      // Empty texts at the end are written as missing values; one before a
      // value that follows cannot be written at all.
      std::size_t written = row.size();
      while (written > 0 && !row[written - 1].is_int && row[written - 1].s.empty()) --written;
      if (written == 0) return std::nullopt;
      std::string line;
      for (std::size_t c = 0; c < written; ++c) {
        if (c > 0) line += ", ";
        const value& v = row[c];
        if (!v.is_int && !writable_text(v.s, c + 1 == written)) return std::nullopt;
        line += v.text();
      }
      out += line + "\n";
    }
  }
  return out;
}

}  // namespace grade
