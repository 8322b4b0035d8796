// Preparing an exercise and grading one query against it. The reference is
// evaluated once per database and random part, when the exercise is
// prepared. A query fails (error) when it fails on a database where the
// reference does not; it is wrong when the results differ on some
// database; the first database in order where that happens is the one
// reported. A query is still run on the databases after the one where it is
// wrong, since failing on any of them makes it an error; the random parts,
// then the built databases, then the prover's database, are tried only while
// it is right on every database. A query right on all of them is correct,
// "proved" when the prover showed it equal to the reference on every
// database with the exercise's tables, else "tested". Every part, and every
// database tried in the search for a counterexample, keeps the exercise's
// references: taking a row away takes the rows that refer to it.
#include "grade/grader.h"

#include "engine/show_text.h"
#include "grade/built_search.h"
#include "grade/student_warnings.h"
#include "grade/instance.h"

namespace grade {

namespace {

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double unit(std::uint64_t& state) { return static_cast<double>(splitmix(state) >> 11) * 0x1.0p-53; }

std::string without_prefix(const std::string& message) {
  const std::string prefix = "relalg: ";
  return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

// The reference on a database of the exercise; a failure on one of the
// databases themselves (not on a random part) means grading cannot run.
evaluation reference_on(const exercise& ex, engine_db& e, std::size_t d, std::size_t sample) {
  evaluation ref = e.evaluate(ex.reference_query, ex.reference_path);
  if (!ref.ok() && sample == 0) {
    const std::string where = d == 0 ? std::string() : " on the database in '" + ex.databases[d].label + "'";
    if (ref.positioned()) {
      throw input_error(ref.error() + (d == 0 ? std::string() : "\nrelalg: note: the reference query fails" + where));
    }
    throw input_error("relalg: the reference query in '" + ex.reference_path + "' fails" + where + ": " +
                      without_prefix(ref.error()));
  }
  return ref;
}

// The prover's database, when the exercise's constraints let it stand and
// the engine shows a difference on it (a failure of the query where the
// reference has a result counts, as on any built database).
std::optional<built_difference> on_prover_database(const prepared_exercise& pe, const proof_attempt& proof,
                                                   const std::string& query, const std::string& name,
                                                   const grade_options& o, const engine_options& eo) {
  if (pe.facts == nullptr || o.build == 0) return std::nullopt;
  std::optional<built_database> db =
      prover_database(*pe.facts, proof.database, proof.reason, {pe.ex->reference_query, query}, o.seed, eo);
  if (!db) return std::nullopt;
  std::optional<std::string> text = render_instance(pe.ex->reference_query, pe.facts->dbs[0].sch, db->data);
  if (!text) return std::nullopt;
  auto src = std::make_shared<const source>(read_source(std::move(*text)));
  engine_db e(*src, eo);
  evaluation ref = e.evaluate(pe.ex->reference_query, pe.ex->reference_path);
  evaluation sub = e.evaluate(query, name);
  if (!ref.ok() || (sub.ok() && same_result(ref, sub, rules_of(o)))) return std::nullopt;
  return built_difference{std::move(src), std::move(*db), std::move(ref), std::move(sub)};
}

}  // namespace

void rename_file(std::string& message, const std::string& from, const std::string& to) {
  const std::string was = "relalg: " + visible_text(from) + ":1:";
  if (from != to && message.rfind(was, 0) == 0) message.replace(0, was.size(), "relalg: " + visible_text(to) + ":1:");
}

const char* database_kind_name(database_kind k) {
  switch (k) {
    case database_kind::given: return "given";
    case database_kind::part: return "part";
    case database_kind::built: return "built";
    case database_kind::prover: return "prover";
  }
  return "given";
}

const char* equivalence_name(equivalence e) {
  switch (e) {
    case equivalence::proved: return "proved";
    case equivalence::tested: return "tested";
    case equivalence::none: return nullptr;
  }
  return nullptr;
}

const char* verdict_name(verdict v) {
  switch (v) {
    case verdict::correct: return "correct";
    case verdict::wrong: return "wrong";
    case verdict::error: return "error";
  }
  return "error";
}

row_set random_rows(const source& db, std::uint64_t seed, std::size_t d, std::size_t k) {
  std::uint64_t state = seed;
  splitmix(state);
  state ^= 0xD1B54A32D192ED03ull * (d + 1);
  splitmix(state);
  state ^= 0x8CB92BA72F3D8DD7ull * k;
  row_set rows;
  for (const source_table& t : db.tables) {
    const double share = unit(state);
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      if (unit(state) < share) rows.push_back(t.first + static_cast<std::uint32_t>(i));
    }
  }
  return rows;
}

prepared_exercise prepare_exercise(const exercise& ex, const exercise_facts* facts, const grade_options& o,
                                   const engine_options& eo, bool cells) {
  prepared_exercise pe;
  pe.ex = &ex;
  if (facts != nullptr && facts->typed) {
    pe.facts = facts;
    for (std::size_t d = 0; d < ex.databases.size(); ++d) pe.kept.push_back(facts->constraints_of(d));
  }
  for (std::size_t d = 0; d < ex.databases.size(); ++d) {
    prepared_database& p = pe.databases.emplace_back();
    p.index = d;
    p.db = std::make_shared<engine_db>(ex.databases[d].src, eo);
    p.reference = reference_on(ex, *p.db, d, 0);
  }
  for (std::size_t d = 0; d < ex.databases.size(); ++d) {
    const source& db = ex.databases[d].src;
    for (std::size_t k = 1; k <= o.search; ++k) {
      prepared_database& p = pe.parts.emplace_back();
      p.index = d;
      p.sample = k;
      p.rows = random_rows(db, o.seed, d, k);
      if (pe.facts != nullptr) p.rows = keep_references(pe.kept[d], pe.facts->dbs[d].data, p.rows);
      p.db = std::make_shared<engine_db>(db, choice{p.rows, {}}, eo);
      p.reference = reference_on(ex, *p.db, d, k);
    }
  }
  if (cells && !pe.databases.empty()) {
    pe.reference_warnings = render_warnings(pe.databases[0].db->warnings(ex.reference_query),
                                            visible_text(ex.reference_path), ex.reference_query);
  }
  for (std::size_t d = 0; cells && d < ex.databases.size(); ++d) {
    pe.cells.push_back(pe.databases[d].db->row_cells(ex.databases[d].src));
  }
  if (cells) pe.proof = prepare_proof(ex, eo.extended);
  // Random databases built from the reference alone, the same for every
  // submission.
  if (cells && pe.facts != nullptr && o.build > 0) {
    // As many as a short submission may be compared on.
    const std::size_t budget = build_budget(o, ex.reference_query.size());
    database_builder random(*pe.facts, {ex.reference_query}, o.seed, build_phases::random);
    const prepared_query reference = pe.databases[0].db->prepare(ex.reference_query);
    for (std::size_t k = 0; k < budget; ++k) {
      std::optional<database_builder::item> item = random.next();
      if (!item) break;
      shared_database& s = pe.built.emplace_back();
      s.src = std::make_shared<const source>(read_source(std::move(item->text)));
      s.db = std::move(item->db);
      s.reference = engine_db(*s.src, eo).evaluate(reference, ex.reference_path);
    }
  }
  return pe;
}

const engine_db* prepared_exercise::warning_db() const {
  for (const prepared_database& p : databases) {
    if (!ex->databases[p.index].hidden) return p.db.get();
  }
  return databases.empty() ? nullptr : databases.front().db.get();
}

outcome grade_query(const prepared_exercise& pe, const std::string& query, const std::string& path,
                    const grade_options& o, const engine_options& eo, const verdict_known& known) {
  const exercise& ex = *pe.ex;
  // The file's name as messages show it.
  const std::string name = visible_text(path);
  outcome out;
  if (const engine_db* db = pe.warning_db()) out.warnings = render_warnings(db->warnings(query), name, query);
  bool decided = false;
  const prepared_database* where = nullptr;  // where it went wrong
  // After a difference on a hidden database: the first visible one.
  const prepared_database* visible = nullptr;
  comparison visible_diff;
  // Compares on one database; true when grading can stop (an error).
  const auto judge = [&](const prepared_database& p) {
    const evaluation sub = p.db->evaluate(query, name);
    const evaluation& ref = p.reference;
    if (decided && out.hidden && out.what == verdict::wrong && visible == nullptr && sub.ok() &&
        !ex.databases[p.index].hidden && !same_result(ref, sub, rules_of(o))) {
      visible = &p;
      visible_diff = compare(ref, sub, rules_of(o));
    }
    if (!sub.ok() && ref.ok()) {
      out.what = verdict::error;
      out.failure = sub.error();
      out.diff = comparison();
    } else if (!decided && !same_result(ref, sub, rules_of(o))) {
      out.what = verdict::wrong;
      out.diff = compare(ref, sub, rules_of(o));
      where = &p;
    } else {
      return false;
    }
    out.kind = p.sample == 0 ? database_kind::given : database_kind::part;
    out.database = ex.databases[p.index].label;
    out.sample = p.sample;
    out.hidden = ex.databases[p.index].hidden;
    decided = true;
    return out.what == verdict::error;
  };
  // A built database where the query went wrong or failed.
  std::optional<built_difference> built;
  const auto on_built = [&](built_difference found) {
    out.kind = database_kind::built;
    out.database.clear();
    out.sample = 0;
    out.built_what = found.db.what;
    if (!found.submission.ok()) {
      out.what = verdict::error;
      out.failure = found.submission.error();
      out.diff = comparison();
    } else {
      out.what = verdict::wrong;
      out.diff = compare(found.reference, found.submission, rules_of(o));
    }
    built = std::move(found);
  };
  for (const prepared_database& p : pe.databases) {
    ++out.databases;
    if (judge(p)) break;
  }
  for (const prepared_database& p : pe.parts) {
    if (decided) break;
    ++out.samples;
    judge(p);
  }
  // The prover, once the exercise's databases and their parts agree; then
  // the built databases, whose values read like the teacher's; then, when
  // they all agree, the prover's database, if it found one.
  std::optional<proof_attempt> proof;
  // The same row lines are the same result under --any-column-order too
  // (the header is free there): a proof of that is enough. An answer that
  // matches only once its columns are reordered is not proved.
  if (!decided && pe.proof != nullptr) {
    proof = attempt_proof(*pe.proof, query, o.rows_only || o.any_column_order);
  }
  if (!decided) {
    if (auto found = search_built(pe, query, name, o, eo, out.built, true)) {
      on_built(std::move(*found));
      decided = true;
    }
  }
  if (!decided && proof && proof->what == proof_attempt::verdict::differs) {
    if (auto found = on_prover_database(pe, *proof, query, name, o, eo)) {
      on_built(std::move(*found));
      out.kind = database_kind::prover;
      decided = true;
    }
  }
  if (out.hidden) {
    // Found on a hidden database: never named nor shown. What the student
    // sees instead comes from the first random part of a visible database
    // that shows a difference too, if there is one.
    out.database.clear();
    out.sample = 0;
    if (out.what != verdict::wrong) return out;
    out.diff = comparison();
    where = nullptr;
    if (visible != nullptr) {
      out.diff = visible_diff;
      out.database = ex.databases[visible->index].label;
      out.sample = visible->sample;
      out.kind = visible->sample == 0 ? database_kind::given : database_kind::part;
      where = visible;
    }
    for (const prepared_database& p : pe.parts) {
      if (where != nullptr) break;
      if (ex.databases[p.index].hidden) continue;
      const evaluation sub = p.db->evaluate(query, name);
      if (!sub.ok() || same_result(p.reference, sub, rules_of(o))) continue;
      out.diff = compare(p.reference, sub, rules_of(o));
      out.database = ex.databases[p.index].label;
      out.sample = p.sample;
      out.kind = database_kind::part;
      where = &p;
      break;
    }
    // Else the first built database that shows a difference.
    if (where == nullptr) {
      std::size_t tried = 0;
      if (auto found = search_built(pe, query, name, o, eo, tried, false)) {
        const verdict was = out.what;
        on_built(std::move(*found));
        out.what = was;
      }
    }
  }
  const bool proved = proof && proof->what == proof_attempt::verdict::proved;
  if (out.what == verdict::correct) {
    out.how = proved ? equivalence::proved : equivalence::tested;
    if (proved) out.proof = std::move(proof->certificate);
  } else if (proved && out.what == verdict::wrong) {
    out.proof_refuted = true;
  }
  if (out.what != verdict::wrong || (where == nullptr && !built)) return out;
  if (known) known(out);

  const source& db = built ? *built->src : ex.databases[where->index].src;
  std::vector<std::vector<std::string>> built_cells;
  if (built) built_cells = engine_db(db, eo).row_cells(db);
  counterexample_request req;
  req.db = &db;
  req.start = built || where->sample == 0 ? every_row(db).rows : where->rows;
  if (pe.facts != nullptr) {
    // Taking a row away takes the rows that refer to it, so that every
    // database tried keeps the constraints.
    const std::vector<constraint>* cs = built ? &pe.facts->constraints : &pe.kept[where->index];
    const instance* data = built ? &built->db.data : &pe.facts->dbs[where->index].data;
    req.keep = [cs, data](const row_set& rows) { return keep_references(*cs, *data, rows); };
  }
  req.reference_query = ex.reference_query;
  req.submission_query = query;
  req.reference_name = ex.reference_path;
  // The file the student saves the counterexample as, in their messages.
  req.submission_name = "FILE";
  req.witnesses = out.diff.witnesses;
  req.cells = built ? &built_cells : &pe.cells[where->index];
  req.rows_only = o.rows_only;
  req.any_column_order = o.any_column_order;
  req.options = eo;
  out.cx = find_counterexample(req);
  out.where = locate(*out.cx, eo);
  return out;
}

}  // namespace grade
