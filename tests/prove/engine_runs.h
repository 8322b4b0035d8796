// Running queries through the real engine for the prover's tests: the
// printed result of a query on an input's tables, or its failure.
#ifndef RELALG_TESTS_PROVE_ENGINE_RUNS_H
#define RELALG_TESTS_PROVE_ENGINE_RUNS_H

#include <string>

#include "prove/decide.h"

namespace proofrun {

// What the two queries print on the tables of `input` (rows_only: only
// their row lines), "!" and the message for a failure; and whether the two
// differ.
struct pair_run {
  std::string first, second;
  bool differs() const { return first != second; }
};
pair_run run_pair(const std::string& input, const std::string& first, const std::string& second, bool rows_only);

// The prover's candidate database as an input text, `query` on line 1.
std::string candidate_input(const std::string& query, const prove::decision& d);

}  // namespace proofrun

#endif
