// Checking two queries for equivalence over one database's tables: the
// prover first (prove/decide.h); a difference it finds is run through the
// engine on its database and shrunk as grading shrinks counterexamples; when
// it cannot decide, the queries are compared on the database and random
// parts of it, and a difference found there is shrunk the same way.
#ifndef RELALG_EQUIVALENT_CHECK_H
#define RELALG_EQUIVALENT_CHECK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "grade/counterexample.h"
#include "grade/engine_adapter.h"

namespace equivalent {

// The two queries and the database they run on.
struct query_pair {
  std::string first, second;            // the query lines
  std::string first_file, second_file;  // their files, for messages
  int second_line = 1;                  // the line of the second query in its file
  std::string database;                 // an input text: a query line, then the tables
  std::string database_file;
};

struct check_settings {
  bool rows_only = false;
  std::size_t search = 200;
  std::uint64_t seed = 1;
  grade::engine_options engine;
};

struct check_result {
  enum class verdict { proved, differs, undecided, failed } what = verdict::undecided;
  std::string reason;       // undecided: the prover's reason; differs: what the prover saw
  std::string certificate;  // proved
  // failed: the message of the query that fails on the database (positioned
  // in its file, without the final line feed).
  std::string failure;
  // differs: where it was seen (0: the prover's database, 1: the given
  // database, k > 1: random part k - 1 of it) and the shrunk counterexample.
  std::size_t seen_on = 0;
  std::optional<grade::counterexample> cx;
  // undecided: the databases the two agreed on (the given one included).
  std::size_t tested = 0;
  std::size_t preorders = 0;
};

check_result check_equivalence(const query_pair& q, const check_settings& s);

}  // namespace equivalent

#endif
