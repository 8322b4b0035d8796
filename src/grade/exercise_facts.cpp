// Studying an exercise: typed databases, inference, the teacher's changes,
// and the listing of the result.
#include "grade/exercise_facts.h"

#include <algorithm>

#include "grade/constraint_text.h"
#include "grade/infer_constraints.h"

namespace grade {

namespace {

// Database d as an instance of the first database's schema: its tables
// that match (see aligned_table), and `present` for each.
instance aligned(const std::vector<const typed_source*>& dbs, std::size_t d, std::vector<bool>& present) {
  instance out;
  const std::size_t n = dbs[0]->sch.tables.size();
  out.tables.resize(n);
  present.assign(n, false);
  for (std::size_t t = 0; t < n; ++t) {
    if (const instance::table_rows* rows = aligned_table(dbs, d, t)) {
      out.tables[t].rows = rows->rows;
      present[t] = true;
    }
  }
  return out;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<constraint> exercise_facts::constraints_of(std::size_t d) const {
  if (d == 0) return constraints;
  std::vector<const typed_source*> ptrs;
  for (const typed_source& t : dbs) ptrs.push_back(&t);
  // The index in database d of each table of the first one, if it matches.
  std::vector<std::optional<std::size_t>> at(dbs[0].sch.tables.size());
  for (std::size_t t = 0; t < at.size(); ++t) {
    if (aligned_table(ptrs, d, t) != nullptr) at[t] = dbs[d].sch.table(dbs[0].sch.tables[t].name);
  }
  std::vector<constraint> out;
  for (constraint c : constraints) {
    if (!at[c.table] || (c.kind == constraint_kind::reference && !at[c.target_table])) continue;
    c.table = *at[c.table];
    if (c.kind == constraint_kind::reference) c.target_table = *at[c.target_table];
    out.push_back(std::move(c));
  }
  return out;
}

exercise_facts study_exercise(const exercise& ex, const std::vector<constraint_change>& changes,
                              std::vector<bool>& taken, const engine_options& eo) {
  exercise_facts f;
  f.extended = eo.extended;
  taken.resize(changes.size(), false);
  for (const database_input& d : ex.databases) {
    std::optional<typed_source> t = read_typed(d.src, eo);
    if (!t) return f;
    f.dbs.push_back(std::move(*t));
  }
  f.typed = !f.dbs.empty();
  if (!f.typed) return f;
  std::vector<const typed_source*> ptrs;
  for (const typed_source& t : f.dbs) ptrs.push_back(&t);
  f.inferred = infer_constraints(ptrs);
  f.constraints = f.inferred;
  const schema& sch = f.dbs[0].sch;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const constraint_change& ch = changes[i];
    if (!ch.add && ch.text == "all") {
      f.constraints.clear();
      taken[i] = true;
      continue;
    }
    std::string why;
    const std::optional<constraint> c = parse_constraint(ch.text, sch, why);
    if (!c) continue;  // about tables of another exercise
    taken[i] = true;
    const auto at = std::find(f.constraints.begin(), f.constraints.end(), *c);
    if (!ch.add) {
      if (at == f.constraints.end()) {
        throw input_error("relalg: " + ch.origin + ": cannot drop '" + ch.text + "': exercise '" +
                          (ex.name.empty() ? ex.reference_path : ex.name) +
                          "' has no such constraint (--explain-constraints lists them)");
      }
      f.constraints.erase(at);
      continue;
    }
    for (std::size_t d = 0; d < ptrs.size(); ++d) {
      std::vector<bool> present;
      const instance db = aligned(ptrs, d, present);
      const bool all_there = present[c->table] && (c->kind != constraint_kind::reference || present[c->target_table]);
      if (all_there && !holds(*c, db)) {
        throw input_error("relalg: " + ch.origin + ": cannot add '" + ch.text + "': the database in '" +
                          ex.databases[d].label + "' does not keep it");
      }
    }
    if (at == f.constraints.end()) f.constraints.push_back(*c);
  }
  // Built databases draw on the values of the databases students may see.
  std::vector<const typed_source*> shown{ptrs[0]};
  for (std::size_t d = 1; d < ptrs.size(); ++d) {
    if (!ex.databases[d].hidden) shown.push_back(ptrs[d]);
  }
  f.ground = std::make_unique<const build_ground>(shown, f.constraints);
  return f;
}

void check_changes_taken(const std::vector<constraint_change>& changes, const std::vector<bool>& taken) {
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (i < taken.size() && taken[i]) continue;
    throw input_error("relalg: " + changes[i].origin + ": '" + changes[i].text +
                      "' names a table or column that no exercise has");
  }
}

std::string explain_constraints(const exercise& ex, const exercise_facts& f) {
  std::string out = "# exercise " + (ex.name.empty() ? std::string() : "'" + ex.name + "' ") + "(" +
                    ex.reference_path + ")";
  if (!f.typed) return out + ": its databases cannot be read back, so none is built\n";
  out += ": " + plural(f.constraints.size(), "constraint", "constraints") + ", inferred from " +
         plural(f.dbs.size(), "database", "databases") + "\n";
  const schema& sch = f.dbs[0].sch;
  for (const constraint& c : f.constraints) {
    const bool added = std::find(f.inferred.begin(), f.inferred.end(), c) == f.inferred.end();
    out += describe(sch, c) + (added ? "  # added\n" : "\n");
  }
  for (const constraint& c : f.inferred) {
    if (std::find(f.constraints.begin(), f.constraints.end(), c) == f.constraints.end()) {
      out += "# dropped: " + describe(sch, c) + "\n";
    }
  }
  return out;
}

}  // namespace grade
