// Grading one exercise, in two steps. First the exercise is prepared once:
// its databases loaded, the random parts of each drawn and loaded, random
// databases built from the reference, the reference evaluated on every one
// of them and the cells of each database read. Then each distinct submitted
// query is graded against that, by one call that does all the work of one
// submission: it is compared on each database, on the random parts, on
// databases built from both queries and on the random built ones, and a
// counterexample is searched for when it is wrong. That call is what runs in a worker process of its own
// (see isolation.h), so everything a submission costs is inside it.
#ifndef RELALG_GRADE_GRADER_H
#define RELALG_GRADE_GRADER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "grade/compare.h"
#include "grade/counterexample.h"
#include "grade/built.h"
#include "grade/engine_adapter.h"
#include "grade/exercise_facts.h"
#include "grade/inputs.h"
#include "grade/options.h"
#include "grade/where_wrong.h"
#include "grade/proof.h"

namespace grade {

enum class verdict { correct, wrong, error };

const char* verdict_name(verdict v);

// The kinds of database compared on: the teacher's own, random parts of
// them, databases grading builds, and the one the prover builds where it
// finds that a query and the reference part.
enum class database_kind { given, part, built, prover };

// How a correct verdict was reached: the prover showed the two queries
// equal on every database with the exercise's tables, or they were only
// found equal on every database compared. None for any other verdict.
enum class equivalence { none, proved, tested };

// "proved", "tested"; nullptr for none.
const char* equivalence_name(equivalence e);

const char* database_kind_name(database_kind k);

struct outcome {
  verdict what = verdict::correct;
  // Where it went wrong or failed: the database's file, and the random
  // sub-database of it (from 1; 0 for the database itself); or a built
  // database (no file) and how it was built. Empty for a grading that a
  // limit stopped.
  database_kind kind = database_kind::given;
  std::string database;
  std::size_t sample = 0;
  std::string built_what;
  std::string failure;   // the message, for an error
  comparison diff;       // for a wrong result
  std::optional<counterexample> cx;
  // Why a wrong one has no counterexample: the limit that stopped its
  // search ("the time limit of 10 s"), or empty.
  std::string search_stopped;
  std::size_t databases = 0;  // compared
  std::size_t samples = 0;    // random sub-databases compared
  std::size_t built = 0;      // built databases compared
  // The verdict was reached on a hidden database (or a random part of
  // one), which is never named or shown. `database` and `diff` are then
  // those of a visible random part that shows a difference too, or empty.
  bool hidden = false;
  // The warnings --warn gives about the query on the first database, each
  // as it prints them (ended by a line feed), naming the submission's file.
  std::vector<std::string> warnings;
  // Where a wrong query goes wrong on its counterexample.
  where_wrong where;
  equivalence how = equivalence::none;
  std::string proof;  // proved: the prover's certificate, a JSON object
  // The prover said proved, yet a database compared separates the two:
  // a fault of the prover, which grading reports.
  bool proof_refuted = false;
};

// One database of an exercise, or one random part of one, loaded, with the
// reference's outcome on it.
struct prepared_database {
  std::size_t index = 0;   // in exercise::databases
  std::size_t sample = 0;  // 0: the database itself; else the random part's number
  row_set rows;            // a random part's rows
  std::shared_ptr<engine_db> db;
  evaluation reference;
};

// A random built database, the same for every submission, with the
// reference's outcome on it.
struct shared_database {
  std::shared_ptr<const source> src;
  built_database db;
  evaluation reference;
};

struct prepared_exercise {
  const exercise* ex = nullptr;
  // The exercise's constraints and what building draws from (null: none).
  const exercise_facts* facts = nullptr;
  std::vector<prepared_database> databases;  // the databases themselves, in order
  std::vector<prepared_database> parts;      // database 0's parts, then database 1's...
  // The cells of every row of each database, for counterexamples.
  std::vector<std::vector<std::vector<std::string>>> cells;
  // Each database's constraints, over its own schema.
  std::vector<std::vector<constraint>> kept;
  std::vector<shared_database> built;  // random built databases, in order
  // The reference's warnings on the first database, as --warn prints them:
  // for the teacher.
  std::vector<std::string> reference_warnings;
  // What the prover reads queries against; null when it cannot be used.
  std::shared_ptr<const proof_ground> proof;

  // The database a submission's warnings are found on: the first that is
  // not hidden (a warning can name a value of the data), else the first;
  // null when there is none.
  const engine_db* warning_db() const;
};

// Throws input_error when the reference query fails on one of the
// exercise's databases. Without `cells`, the cells and the random built
// databases are left out (a trial of the reference alone).
prepared_exercise prepare_exercise(const exercise& ex, const exercise_facts* facts, const grade_options& o,
                                   const engine_options& eo, bool cells = true);

// Called with the outcome as soon as the verdict is known, before the
// search for a counterexample of a wrong one.
using verdict_known = std::function<void(const outcome&)>;

// All the work of grading one query: `path` names its file in messages.
// Deterministic: the outcome depends on the query and the exercise only.
outcome grade_query(const prepared_exercise& pe, const std::string& query, const std::string& path,
                    const grade_options& o, const engine_options& eo, const verdict_known& known = {});

// The rows of random sub-database k (from 1) of database d of an exercise:
// each table gets a share drawn at random, and each of its rows is kept
// with that probability. The same seed, d and k always give the same rows.
// (A part compared on is these rows less those whose partner, by a
// reference of the exercise's constraints, is not among them.)
row_set random_rows(const source& db, std::uint64_t seed, std::size_t d, std::size_t k);

// A positioned message about the file `from` as about the file `to`: the
// same query, submitted twice.
void rename_file(std::string& message, const std::string& from, const std::string& to);

}  // namespace grade

#endif
