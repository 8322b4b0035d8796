// Grading's use of the equivalence prover (prove/decide.h). Once per
// exercise, the reference is read against the tables of the exercise's
// first database, without their rows; then each submission that the
// exercise's databases do not separate from the reference is decided
// against it, once. A proof makes a correct verdict "proved"; a difference
// comes with the prover's database, which grading only trusts once the
// engine shows the two queries differ on it (and only when it keeps every
// constraint of the exercise).
#ifndef RELALG_GRADE_PROOF_H
#define RELALG_GRADE_PROOF_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"
#include "grade/built.h"
#include "grade/engine_adapter.h"
#include "grade/exercise_facts.h"
#include "grade/inputs.h"

namespace grade {

// The tables of an exercise's databases (names, columns and type words),
// without rows, and the reference read against them. A database may lack
// some of them (a further database often holds only the tables a query
// needs): two queries equal on every database with all the tables are
// equal on every database with those they name.
struct proof_ground {
  table_map tables;
  std::vector<std::string> first_tables;  // the first database's, in order
  plan reference;
  std::string reference_query;
  bool extended = false;  // queries read with join, njoin, intersect and divide
};

// Nothing when two of the exercise's databases have a table of the same
// name with other columns or types.
std::shared_ptr<const proof_ground> prepare_proof(const exercise& ex, bool extended);

// How the prover stands on one submission.
struct proof_attempt {
  enum class verdict { proved, differs, undecided } what = verdict::undecided;
  std::string reason;       // undecided: why; differs: what its database shows
  std::string certificate;  // proved: the certificate, a JSON object
  // differs: the prover's database as an input text over every table of
  // the exercise's first database, the reference's query on line 1; empty
  // when it needs a table that database lacks.
  std::string database;
};

// The search for a proof is bounded (prove::decide_options): past its
// bounds the answer is undecided, never a hang. Never throws but for memory.
proof_attempt attempt_proof(const proof_ground& g, const std::string& query, bool rows_only);

// The prover's database as a built database of the exercise, repaired as
// built ones are (the rows references ask for added, tables ordered; see
// build_context::repair); nothing when it cannot be read back as typed
// values or made to keep every constraint. `queries` are the reference's
// and the submission's.
std::optional<built_database> prover_database(const exercise_facts& facts, const std::string& text,
                                              const std::string& reason, const std::vector<std::string>& queries,
                                              std::uint64_t seed, const engine_options& eo);

}  // namespace grade

#endif
