// Writing the tables as CREATE TABLE and INSERT statements, and the script
// around the query.
#include "sql/script.h"

#include <stdexcept>

#include "engine/show_text.h"
#include "sql/checks.h"
#include "sql/readable.h"
#include "sql/translate.h"

namespace relalg_sql {

namespace {

// Rows per INSERT statement.
constexpr std::size_t kRowsPerInsert = 500;

// Every string value the dialect cannot hold is refused before anything
// is written.
void check_values(const stored_table& t, dialect d) {
  // Beside its columns, a table holds the position column.
  const std::size_t most = max_columns(d);
  if (most != 0 && t.width() + 1 > most) {
    throw std::runtime_error("cannot write table " + show_text(t.name) + " as SQL: it has " +
                             std::to_string(t.width()) + " columns, and a " +
                             std::string(dialect_title(d)) + " table holds at most " +
                             std::to_string(most - 1) + " beside the row positions");
  }
  for (std::size_t r = 0; r < t.row_count(); ++r) {
    const rowref row = t.row(r);
    for (std::size_t c = 0; c < row.w; ++c) {
      if (row.c[c].is_int()) continue;
      const std::string_view problem = text_problem(d, row.c[c].text());
      if (problem.empty()) continue;
      throw std::runtime_error("cannot write table " + show_text(t.name) + " as SQL: row " +
                               std::to_string(r + 1) + ", column " +
                               show_text(c < t.width() ? t.colnames[c] : "") + ": " +
                               std::string(problem));
    }
  }
}

void write_table(const stored_table& s, const table_names& sql, dialect d, std::string& buf,
                 const std::function<void(std::string&)>& out) {
  buf += concat({"-- ", comment_text(header_line(s.name, s.colnames, s.coltypes)), "\n"});
  buf += "CREATE TABLE " + quote_name(sql.table) + " (" + quote_name(sql.position) + " " +
         std::string(int_type(d)) + " NOT NULL";
  std::vector<bool> is_int;
  for (std::size_t c = 0; c < s.colnames.size(); ++c) {
    is_int.push_back(s.coltypes[c] == "int");
    buf += ", " + quote_name(sql.columns[c]) + " " +
           std::string(is_int[c] ? int_type(d) : text_type(d)) + " NOT NULL";
  }
  buf += ");\n";
  const std::string insert = "INSERT INTO " + quote_name(sql.table) + " VALUES\n";
  std::size_t row_number = 0;
  for (std::size_t r = 0; r < s.row_count(); ++r) {
    const rowref row = s.row(r);
    const cell* cells = row.c;
    const std::size_t n = row.w;
    buf += row_number % kRowsPerInsert == 0 ? insert : std::string(",\n");
    ++row_number;
    buf += '(';
    buf += std::to_string(row_number);
    for (std::size_t c = 0; c < s.colnames.size(); ++c) {
      buf += ", ";
      // A loaded row holds a cell of its column's kind for every column.
      const cell v = c < n ? cells[c] : (is_int[c] ? cell::of_int(0) : cell::of_text(""));
      buf += v.is_int() ? int_literal(v.ival()) : quote_text(v.text());
    }
    buf += ")";
    if (row_number % kRowsPerInsert == 0) buf += ";\n";
    if (buf.size() >= (1 << 20)) out(buf);
  }
  if (row_number % kRowsPerInsert != 0) buf += ";\n";
}

}  // namespace

std::vector<table_schema> schemas_of(const table_map& tables) {
  std::vector<table_schema> out;
  out.reserve(tables.size());
  for (const auto& [key, t] : tables) out.push_back({t.name, t.colnames, t.coltypes});
  return out;
}

void write_script(const plan& p, const table_map& tables, dialect d, bool query_only,
                  const std::function<void(std::string&)>& out, bool positional) {
  const catalog_names names = name_tables(d, schemas_of(tables));
  const std::string query = positional ? translate_query(p, names, d) : translate_readable(p, names, d);
  std::string buf;
  if (!query_only) {
    for (const auto& [name, t] : tables) check_values(t, d);
    buf += "-- relalg --sql=" + std::string(dialect_name(d)) + ": the loaded tables, then the query\n";
    buf += script_prologue(d);
    buf += "BEGIN;\n";
    for (const auto& [name, t] : tables) write_table(t, names.at(name), d, buf, out);
    buf += "COMMIT;\n";
    if (!positional) {
      buf +=
          "-- The query. Text compares and sorts by its bytes, as relalg's strings do:\n"
          "-- the text columns above are created so. Strings keep their apostrophes:\n"
          "-- relalg's 'Ada' is the SQL string '''Ada'''.\n";
    }
  }
  buf += query;
  out(buf);
}

}  // namespace relalg_sql
