// Random query pairs for the prover's soundness tests, over a small schema
// of three tables with integer and string columns: a random query, and
// either a rewrite of it that is equivalent by construction (products and
// unions reordered and regrouped, selections split, merged and pushed
// through products and unions, projections merged, redundant self-joins,
// comparisons rewritten, double negations) or a near miss that changes one
// comparison, constant, column or operation.
#ifndef RELALG_TESTS_PROVE_GENERATOR_H
#define RELALG_TESTS_PROVE_GENERATOR_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace proofgen {

// The tables the queries are read against: an input text without its
// query line.
extern const char* const schema_text;

struct query_pair {
  std::string first, second;
  bool equivalent = false;  // by construction; otherwise a near miss
  std::string how;          // the rewrite or change applied
};

class generator {
 public:
  explicit generator(std::uint64_t seed) : rng_(seed) {}
  query_pair next();

  // A random database over the schema's tables: each table 0 to 3 rows,
  // values from the queries' neighbourhood. An input text, query line
  // included.
  std::string database(const std::string& query);

 private:
  std::mt19937_64 rng_;
};

}  // namespace proofgen

#endif
