// Preparing an exercise and grading one query against it. The reference is
// evaluated once per database and random part, when the exercise is
// prepared. A query fails (error) when it fails on a database where the
// reference does not; it is wrong when the results differ on some
// database; the first database in order where that happens is the one
// reported. A query is still run on the databases after the one where it is
// wrong, since failing on any of them makes it an error; the random parts
// are tried only while it is right on every database.
#include "grade/grader.h"

#include "engine/show_text.h"

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

}  // namespace

void rename_file(std::string& message, const std::string& from, const std::string& to) {
  const std::string was = "relalg: " + visible_text(from) + ":1:";
  if (from != to && message.rfind(was, 0) == 0) message.replace(0, was.size(), "relalg: " + visible_text(to) + ":1:");
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

prepared_exercise prepare_exercise(const exercise& ex, const grade_options& o, const engine_options& eo,
                                   bool cells) {
  prepared_exercise pe;
  pe.ex = &ex;
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
      p.db = std::make_shared<engine_db>(db, choice{p.rows, {}}, eo);
      p.reference = reference_on(ex, *p.db, d, k);
    }
  }
  for (std::size_t d = 0; cells && d < ex.databases.size(); ++d) {
    pe.cells.push_back(pe.databases[d].db->row_cells(ex.databases[d].src));
  }
  return pe;
}

outcome grade_query(const prepared_exercise& pe, const std::string& query, const std::string& path,
                    const grade_options& o, const engine_options& eo, const verdict_known& known) {
  const exercise& ex = *pe.ex;
  // The file's name as messages show it.
  const std::string name = visible_text(path);
  outcome out;
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
        !ex.databases[p.index].hidden && !same_result(ref, sub, o.rows_only)) {
      visible = &p;
      visible_diff = compare(ref, sub, o.rows_only);
    }
    if (!sub.ok() && ref.ok()) {
      out.what = verdict::error;
      out.failure = sub.error();
      out.diff = comparison();
    } else if (!decided && !same_result(ref, sub, o.rows_only)) {
      out.what = verdict::wrong;
      out.diff = compare(ref, sub, o.rows_only);
      where = &p;
    } else {
      return false;
    }
    out.database = ex.databases[p.index].label;
    out.sample = p.sample;
    out.hidden = ex.databases[p.index].hidden;
    decided = true;
    return out.what == verdict::error;
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
      where = visible;
    }
    for (const prepared_database& p : pe.parts) {
      if (where != nullptr) break;
      if (ex.databases[p.index].hidden) continue;
      const evaluation sub = p.db->evaluate(query, name);
      if (!sub.ok() || same_result(p.reference, sub, o.rows_only)) continue;
      out.diff = compare(p.reference, sub, o.rows_only);
      out.database = ex.databases[p.index].label;
      out.sample = p.sample;
      where = &p;
      break;
    }
  }
  if (out.what != verdict::wrong || where == nullptr) return out;
  if (known) known(out);

  const source& db = ex.databases[where->index].src;
  counterexample_request req;
  req.db = &db;
  req.start = where->sample == 0 ? every_row(db).rows : where->rows;
  req.reference_query = ex.reference_query;
  req.submission_query = query;
  req.reference_name = ex.reference_path;
  // The file the student saves the counterexample as, in their messages.
  req.submission_name = "FILE";
  req.witnesses = out.diff.witnesses;
  req.cells = &pe.cells[where->index];
  req.rows_only = o.rows_only;
  req.options = eo;
  out.cx = find_counterexample(req);
  return out;
}

}  // namespace grade
