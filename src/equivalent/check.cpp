// The equivalence check: the queries run once on the database (a query that
// fails there ends the check), then the prover, then, when it cannot
// decide, testing on the database and its random parts.
#include "equivalent/check.h"

#include <map>

#include "engine/loader.h"
#include "engine/parser.h"
#include "grade/compare.h"
#include "grade/grader.h"
#include "prove/decide.h"

namespace equivalent {

namespace {

// A positioned message about line 1 of `file` as about line `line`.
std::string on_line(std::string message, const std::string& file, int line) {
  const std::string was = "relalg: " + file + ":1:";
  if (line != 1 && message.rfind(was, 0) == 0) {
    message.replace(0, was.size(), "relalg: " + file + ":" + std::to_string(line) + ":");
  }
  return message;
}

// The prover's database as an input: the first query, then each table it
// gives rows for, under the header line of the given database.
std::string render(const std::string& query, const grade::source& db, const prove::decision& d) {
  std::map<std::string, const std::vector<std::string>*> rows;
  for (const prove::candidate_table& t : d.database) rows[t.table->name] = &t.rows;
  std::string out = query + "\n";
  bool first = true;
  for (const grade::source_table& t : db.tables) {
    const auto it = rows.find(t.name);
    if (it == rows.end()) continue;
    if (!first) out += "\n";
    first = false;
    out.append(t.header).append("\n");
    for (const std::string& r : *it->second) out += r + "\n";
  }
  return out;
}

grade::row_set all_rows(const grade::source& db) {
  grade::row_set rows(db.row_count);
  for (std::uint32_t r = 0; r < db.row_count; ++r) rows[r] = r;
  return rows;
}

grade::counterexample_request request(const query_pair& q, const check_settings& s, const grade::source& db) {
  grade::counterexample_request req;
  req.db = &db;
  req.start = all_rows(db);
  // The first query stands on the counterexample's first line.
  req.submission_query = q.first;
  req.submission_name = q.first_file;
  req.reference_query = q.second;
  req.reference_name = q.second_file;
  req.rows_only = s.rows_only;
  req.options = s.engine;
  return req;
}

}  // namespace

check_result check_equivalence(const query_pair& q, const check_settings& s) {
  check_result r;
  const grade::source db = grade::read_source(q.database);
  grade::engine_db whole(db, s.engine);
  const grade::evaluation first = whole.evaluate(q.first, q.first_file);
  const grade::evaluation second = whole.evaluate(q.second, q.second_file);
  if (!first.ok() || !second.ok()) {
    r.what = check_result::verdict::failed;
    r.failure = first.ok() ? on_line(second.error(), q.second_file, q.second_line) : first.error();
    return r;
  }

  table_map tables;
  load_tables(q.database, tables, false);
  parse_options read;
  read.extended = s.engine.extended;
  const plan a = parse_query(q.first, tables, read);
  const plan b = parse_query(q.second, tables, read);
  prove::decide_options po;
  po.rows_only = s.rows_only;
  const prove::decision d = prove::decide(a, b, po);
  r.preorders = d.preorders;
  r.reason = d.reason;
  if (d.result == prove::verdict::proved) {
    r.what = check_result::verdict::proved;
    r.certificate = d.certificate;
    return r;
  }
  if (d.result == prove::verdict::differs) {
    // A candidate, until the engine shows the difference on it.
    const grade::source cand = grade::read_source(render(q.first, db, d));
    grade::engine_db e(cand, s.engine);
    if (!grade::same_result(e.evaluate(q.second, q.second_file), e.evaluate(q.first, q.first_file), s.rows_only)) {
      r.what = check_result::verdict::differs;
      r.seen_on = 0;
      r.cx = grade::find_counterexample(request(q, s, cand));
      return r;
    }
    r.reason = "the prover's database did not show the difference it expected";
  }

  // Testing: the database, then its random parts.
  for (std::size_t k = 0; k <= s.search; ++k) {
    grade::row_set rows = k == 0 ? all_rows(db) : grade::random_rows(db, s.seed, 0, k);
    grade::evaluation x = first;
    grade::evaluation y = second;
    if (k > 0) {
      grade::engine_db part(db, grade::choice{rows, {}}, s.engine);
      x = part.evaluate(q.first, q.first_file);
      y = part.evaluate(q.second, q.second_file);
    }
    if (grade::same_result(y, x, s.rows_only)) continue;
    const grade::comparison c = grade::compare(y, x, s.rows_only);
    grade::counterexample_request req = request(q, s, db);
    req.start = std::move(rows);
    req.witnesses = c.witnesses;
    const std::vector<std::vector<std::string>> cells = whole.row_cells(db);
    req.cells = &cells;
    r.what = check_result::verdict::differs;
    r.seen_on = k + 1;
    r.cx = grade::find_counterexample(req);
    return r;
  }
  r.what = check_result::verdict::undecided;
  r.tested = s.search + 1;
  return r;
}

}  // namespace equivalent
