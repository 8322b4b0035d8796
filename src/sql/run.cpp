// Loading, reading and writing the script for --sql.
#include "sql/run.h"

#include <exception>

#include "engine/failure.h"
#include "engine/schema.h"
#include "engine/session.h"
#include "sql/script.h"
#include "sql/translate.h"

namespace relalg_sql {

int run_sql(std::string_view input, const sql_options& o, output_sink& out, std::vector<diagnostic>& messages,
            bool extended) {
  try {
    session s(input);
    s.parse_rows();
    const plan p = s.read(s.query(), {false, extended});
    // A query that has no result is refused as evaluation would fail.
    const std::vector<node_schema> schemas = plan_schemas(p);
    if (p.root >= 0 && !schemas[static_cast<std::size_t>(p.root)].ok) {
      const node_schema& bad = schemas[static_cast<std::size_t>(p.root)];
      diagnostic d;
      d.span = bad.at;
      d.message = bad.error;
      d.suggestion = bad.suggestion;
      messages.push_back(std::move(d));
      return exit_failed;
    }
    try {
      write_script(
          p, s.tables(), o.d, o.query_only,
          [&out](std::string& piece) {
            out.write(piece);
            piece.clear();
          },
          o.positional);
    } catch (const refusal& r) {
      diagnostic d;
      d.span = r.span;
      d.message = r.what();
      messages.push_back(std::move(d));
      return exit_failed;
    }
  } catch (...) {
    messages.push_back(failure_diagnostic(std::current_exception(), failure_stage::loading));
    return exit_failed;
  }
  return out.ok() ? exit_ok : exit_failed;
}

}  // namespace relalg_sql
