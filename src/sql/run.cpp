// Loading, reading and writing the script for --sql.
#include "sql/run.h"

#include <new>
#include <stdexcept>

#include "engine/diagnostic.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine/schema.h"
#include "sql/script.h"
#include "sql/translate.h"

namespace relalg_sql {

int run_sql(std::string_view input, const sql_options& o, const std::string& input_name,
            output_sink& out, std::string& messages) {
  table_map tables;
  plan p;
  try {
    const std::string query = load_tables(input, tables, true);
    parse_all_pending(tables);
    p = parse_query(query, tables);
    // A query that has no result is refused as evaluation would fail.
    const std::vector<node_schema> schemas = plan_schemas(p);
    if (p.root >= 0 && !schemas[static_cast<std::size_t>(p.root)].ok) {
      const node_schema& s = schemas[static_cast<std::size_t>(p.root)];
      throw refusal(s.error, s.at);
    }
    write_script(
        p, tables, o.d, o.query_only,
        [&out](std::string& piece) {
          out.write(piece);
          piece.clear();
        },
        o.positional);
  } catch (const refusal& r) {
    messages += format_diagnostic(input_name, p.line, {severity::error, 1, r.span, r.what(), {}});
    return exit_failed;
  } catch (const std::bad_alloc&) {
    messages += "relalg: out of memory: the tables of this input do not fit\n";
    return exit_failed;
  } catch (const std::exception& e) {
    messages += std::string("relalg: ") + e.what() + "\n";
    return exit_failed;
  }
  return out.ok() ? exit_ok : exit_failed;
}

}  // namespace relalg_sql
