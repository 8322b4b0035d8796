// Test runs through the engine, by grading's door to it.
#include "engine_runs.h"

#include "grade/engine_adapter.h"

namespace proofrun {

namespace {

std::string shown(const grade::evaluation& e, bool rows_only) {
  if (!e.ok()) return "!" + e.error();
  return rows_only ? std::string(e.rows_text()) : e.printed();
}

}  // namespace

pair_run run_pair(const std::string& input, const std::string& first, const std::string& second, bool rows_only) {
  const grade::source src = grade::read_source(input);
  grade::engine_db db(src, grade::engine_options{});
  return {shown(db.evaluate(first), rows_only), shown(db.evaluate(second), rows_only)};
}

std::string candidate_input(const std::string& query, const prove::decision& d) {
  std::string out = query + "\n";
  for (const prove::candidate_table& t : d.database) {
    out.append("\n").append(prove::header_line(*t.table)).append("\n");
    for (const std::string& r : t.rows) out.append(r).append("\n");
  }
  return out;
}

}  // namespace proofrun
