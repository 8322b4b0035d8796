// Writing the tables as CREATE TABLE and INSERT statements, and the script
// around the query.
#include "sql/script.h"

#include <map>
#include <stdexcept>

#include "logic.h"
#include "sql/translate.h"

namespace relalg_sql {

namespace {

// Rows per INSERT statement.
constexpr std::size_t kRowsPerInsert = 500;

// Every string value the dialect cannot hold is refused before anything
// is written.
void check_values(const table_data& t, dialect d) {
  std::size_t row_number = 0;
  t.for_each_row([&](const cell* cells, std::size_t n) {
    ++row_number;
    for (std::size_t c = 0; c < n; ++c) {
      if (cells[c].is_int()) continue;
      const std::string_view problem = text_problem(d, cells[c].text());
      if (problem.empty()) continue;
      throw std::runtime_error("cannot write table " + show_text(t.schema.name) + " as SQL: row " +
                               std::to_string(row_number) + ", column " +
                               show_text(c < t.schema.colnames.size() ? t.schema.colnames[c] : "") +
                               ": " + std::string(problem));
    }
  });
}

void write_table(const table_data& t, const table_names& sql, dialect d, std::string& buf,
                 const std::function<void(std::string&)>& out) {
  const table_schema& s = t.schema;
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
  t.for_each_row([&](const cell* cells, std::size_t n) {
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
  });
  if (row_number % kRowsPerInsert != 0) buf += ";\n";
}

}  // namespace

void write_script(const plan& p, const std::vector<table_data>& tables, dialect d, bool query_only,
                  const std::function<void(std::string&)>& out) {
  std::vector<table_schema> schemas;
  schemas.reserve(tables.size());
  for (const table_data& t : tables) schemas.push_back(t.schema);
  const catalog_names names = name_tables(d, schemas);
  const std::string query = translate_query(p, names, d);
  std::string buf;
  if (!query_only) {
    std::map<std::string_view, const table_data*> ordered;
    for (const table_data& t : tables) ordered[t.schema.name] = &t;
    for (const auto& [name, t] : ordered) check_values(*t, d);
    buf += "-- relalg --sql=" + std::string(dialect_name(d)) + ": the loaded tables, then the query\n";
    buf += script_prologue(d);
    buf += "BEGIN;\n";
    for (const auto& [name, t] : ordered) write_table(*t, names.at(t->schema.name), d, buf, out);
    buf += "COMMIT;\n";
  }
  buf += query;
  out(buf);
}

}  // namespace relalg_sql
