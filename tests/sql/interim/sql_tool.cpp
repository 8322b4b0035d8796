// Writes the SQL script for an input file, as `relalg --sql` will once the
// engine's parser is on this branch: sql_tool [--sql-query-only] DIALECT INPUT
#include <fstream>
#include <iostream>
#include <sstream>

#include "main.h"
#include "plan_from_text.h"
#include "sql/script.h"
#include "sql/translate.h"

int main(int argc, char** argv) {
  bool query_only = false;
  int a = 1;
  if (a < argc && std::string(argv[a]) == "--sql-query-only") {
    query_only = true;
    ++a;
  }
  if (argc - a != 2) {
    std::cerr << "usage: sql_tool [--sql-query-only] sqlite|postgres|duckdb INPUT\n";
    return 2;
  }
  const auto d = relalg_sql::dialect_named(argv[a]);
  if (!d) {
    std::cerr << "sql_tool: unknown dialect\n";
    return 2;
  }
  std::ifstream in(argv[a + 1], std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string input = ss.str();
  try {
    database db;
    const std::string query = load_input(input, db, false);
    const table_map tables = stored_tables(db);
    const plan p = build_plan(query, tables);
    relalg_sql::write_script(p, tables, *d, query_only, [](std::string& s) {
      std::cout << s;
      s.clear();
    });
  } catch (const std::exception& e) {
    std::cerr << "relalg: " << e.what() << "\n";
    return 1;
  }
  return std::cout.flush() ? 0 : 1;
}
