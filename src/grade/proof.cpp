// The prover in grading: the exercise's tables without rows, one decision
// per submission, and the prover's database checked against the
// exercise's constraints before the engine runs on it.
#include "grade/proof.h"

#include <map>

#include "engine/loader.h"
#include "engine/parser.h"
#include "grade/build_context.h"
#include "prove/decide.h"

namespace grade {

namespace {

// An input text of a database's header lines alone: its tables, no rows.
std::string headers_only(const source& s) {
  std::string text = "\n";
  for (std::size_t t = 0; t < s.tables.size(); ++t) {
    if (t > 0) text += "\n";
    text.append(s.tables[t].header).append("\n");
  }
  return text;
}

// Adds the tables of `more` to `all`; false when one of them is there
// already with other columns or types.
bool merge(table_map& all, const table_map& more) {
  for (const auto& [name, t] : more) {
    const auto [at, fresh] = all.emplace(name, t);
    if (!fresh && (at->second.colnames != t.colnames || at->second.coltypes != t.coltypes)) return false;
  }
  return true;
}

// The prover's words (the reference is its first query) as the feedback's.
std::string where_they_part(const std::string& reason) {
  if (reason.rfind("the first query has a row", 0) == 0) {
    return "one row for each table the reference reads, so that its result has a row yours lacks";
  }
  if (reason.rfind("the second query has a row", 0) == 0) {
    return "one row for each table your query reads, so that your result has a row the reference's lacks";
  }
  return "rows where the prover found that the two queries part";
}

}  // namespace

std::shared_ptr<const proof_ground> prepare_proof(const exercise& ex, bool extended) {
  if (ex.databases.empty()) return nullptr;
  auto g = std::make_shared<proof_ground>();
  try {
    for (const database_input& db : ex.databases) {
      table_map one;
      load_tables(headers_only(db.src), one, false);
      if (!merge(g->tables, one)) return nullptr;
    }
    for (const source_table& t : ex.databases[0].src.tables) g->first_tables.push_back(t.name);
    g->reference_query = ex.reference_query;
    g->extended = extended;
    parse_options po;
    po.extended = extended;
    g->reference = parse_query(ex.reference_query, g->tables, po);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    return nullptr;
  }
  return g;
}

proof_attempt attempt_proof(const proof_ground& g, const std::string& query, bool rows_only) {
  proof_attempt out;
  prove::decision d;
  try {
    parse_options read;
    read.extended = g.extended;
    const plan submission = parse_query(query, g.tables, read);
    prove::decide_options po;
    po.rows_only = rows_only;
    d = prove::decide(g.reference, submission, po);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& x) {
    out.reason = std::string("the prover could not read the queries: ") + x.what();
    return out;
  }
  out.reason = d.reason;
  switch (d.result) {
    case prove::verdict::proved:
      out.what = proof_attempt::verdict::proved;
      out.certificate = std::move(d.certificate);
      break;
    case prove::verdict::undecided:
      break;
    case prove::verdict::differs: {
      out.what = proof_attempt::verdict::differs;
      std::map<std::string, const std::vector<std::string>*> rows;
      for (const prove::candidate_table& t : d.database) rows[t.table->name] = &t.rows;
      // Every table, in the order of its header line, so that the database
      // has the exercise's schema.
      std::string text = g.reference_query + "\n";
      for (std::size_t t = 0; t < g.first_tables.size(); ++t) {
        const std::string& name = g.first_tables[t];
        if (t > 0) text += "\n";
        text += prove::header_line(g.tables.find(name)->second) + "\n";
        const auto it = rows.find(name);
        if (it == rows.end()) continue;
        for (const std::string& r : *it->second) text += r + "\n";
        rows.erase(it);
      }
      for (const auto& [name, lines] : rows) {
        if (!lines->empty()) return out;  // rows of a table the first database lacks
      }
      out.database = std::move(text);
      break;
    }
  }
  return out;
}

std::optional<built_database> prover_database(const exercise_facts& facts, const std::string& text,
                                              const std::string& reason, const std::vector<std::string>& queries,
                                              std::uint64_t seed, const engine_options& eo) {
  if (text.empty() || !facts.typed || facts.dbs.empty()) return std::nullopt;
  std::optional<typed_source> typed = read_typed(read_source(text), eo);
  if (!typed) return std::nullopt;
  // Its tables in the order of the exercise's first database, whose schema
  // the constraints are over.
  const schema& sch = facts.dbs[0].sch;
  instance data;
  for (const table_info& t : sch.tables) {
    const std::optional<std::size_t> at = typed->sch.table(t.name);
    if (!at) return std::nullopt;
    const table_info& mine = typed->sch.tables[*at];
    if (mine.columns.size() != t.columns.size()) return std::nullopt;
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
      if (mine.columns[c].name != t.columns[c].name || mine.columns[c].is_int != t.columns[c].is_int) {
        return std::nullopt;
      }
    }
    data.tables.push_back(typed->data.tables[*at]);
  }
  if (typed->sch.tables.size() != sch.tables.size()) return std::nullopt;
  build_context ctx(facts, queries, seed);
  if (!ctx.repair(data)) return std::nullopt;
  return built_database{built_kind::canonical, where_they_part(reason), std::move(data)};
}

}  // namespace grade
