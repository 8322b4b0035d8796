// Grading one exercise: every submission compared with the reference on
// each database and on random sub-databases of each, the reference
// evaluated once per database; then a counterexample for each wrong one.
#ifndef RELALG_GRADE_GRADER_H
#define RELALG_GRADE_GRADER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "grade/compare.h"
#include "grade/counterexample.h"
#include "grade/engine_adapter.h"
#include "grade/inputs.h"
#include "grade/options.h"

namespace grade {

enum class verdict { correct, wrong, error };

const char* verdict_name(verdict v);

struct outcome {
  verdict what = verdict::correct;
  // Where it went wrong or failed: the database's file, and the random
  // sub-database of it (from 1; 0 for the database itself).
  std::string database;
  std::size_t sample = 0;
  std::string failure;   // the message, for an error
  comparison diff;       // for a wrong result
  std::optional<counterexample> cx;
  std::size_t databases = 0;  // compared
  std::size_t samples = 0;    // random sub-databases compared
};

// Outcomes in the order of subs. Throws input_error when the reference
// query fails on one of the exercise's databases.
std::vector<outcome> grade_exercise(const exercise& ex, const std::vector<submission_input>& subs,
                                    const grade_options& o, const engine_options& eo);

// The rows of random sub-database k (from 1) of database d of an exercise:
// each table gets a share drawn at random, and each of its rows is kept
// with that probability. The same seed, d and k always give the same rows.
row_set random_rows(const source& db, std::uint64_t seed, std::size_t d, std::size_t k);

}  // namespace grade

#endif
