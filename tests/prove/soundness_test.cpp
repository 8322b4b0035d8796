// The prover's soundness run: random pairs of queries (proofgen), each
// decided, and every verdict held against the real engine and the
// independent checker:
// - proved: the certificate passes the checker, and no random database
//   separates the two queries;
// - differs: the candidate database separates them when the engine runs
//   both, and the pair was not equivalent by construction;
// - undecided: no random database separates a pair equivalent by
//   construction (else the generator's rewrite was wrong).
// It prints the counts. RELALG_PROVE_PAIRS sets the number of pairs (default
// 1500), RELALG_PROVE_SECONDS a time after which it stops early (default
// 50), RELALG_PROVE_SEED the seed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>

#include "checker.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine_runs.h"
#include "generator.h"
#include "prove/decide.h"

namespace {

std::size_t setting(const char* name, std::size_t fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? static_cast<std::size_t>(std::strtoull(v, nullptr, 10)) : fallback;
}

constexpr int kDatabases = 25;  // random databases per pair

TEST(ProveSoundness, RandomPairsAgreeWithTheEngineAndTheChecker) {
  const std::size_t pairs = setting("RELALG_PROVE_PAIRS", 1500);
  const std::size_t seconds = setting("RELALG_PROVE_SECONDS", 50);
  proofgen::generator gen(setting("RELALG_PROVE_SEED", 1));
  std::map<std::string, std::size_t> counts;
  std::map<std::string, std::size_t> undecided_why;
  const auto start = std::chrono::steady_clock::now();
  std::size_t done = 0;
  for (; done < pairs; ++done) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) break;
    const proofgen::query_pair p = gen.next();
    const bool rows_only = done % 7 == 3;
    const std::string input = p.first + "\n" + proofgen::schema_text;
    table_map tables;
    load_tables(input, tables, false);
    const plan a = parse_query(p.first, tables);
    const plan b = parse_query(p.second, tables);
    prove::decide_options o;
    o.rows_only = rows_only;
    const prove::decision d = prove::decide(a, b, o);
    const std::string what = p.first + "  vs  " + p.second + (rows_only ? "  (rows only)" : "") + "  [" + p.how + "]";
    const char* kind = p.equivalent ? " (equivalent by construction)" : " (near miss)";
    if (d.result == prove::verdict::proved) {
      ++counts[std::string("proved") + kind];
      const std::string problem = proofcheck::check(a, b, rows_only, d.certificate);
      ASSERT_EQ(problem, "") << "the checker rejects the proof of " << what << "\n" << d.certificate;
      for (int k = 0; k < kDatabases; ++k) {
        const std::string db = gen.database(p.first);
        const proofrun::pair_run r = proofrun::run_pair(db, p.first, p.second, rows_only);
        ASSERT_FALSE(r.differs()) << "PROVED BUT DIFFERENT: " << what << "\non\n" << db << "\n" << r.first << "---\n" << r.second;
      }
    } else if (d.result == prove::verdict::differs) {
      ++counts[std::string("differs") + kind];
      const std::string db = proofrun::candidate_input(p.first, d);
      const proofrun::pair_run r = proofrun::run_pair(db, p.first, p.second, rows_only);
      ASSERT_TRUE(r.differs()) << "the candidate database does not separate " << what << " (" << d.reason << ")\n" << db;
      ASSERT_FALSE(p.equivalent) << "a rewrite that is no equivalence: " << what << "\n" << db << r.first << "---\n" << r.second;
    } else {
      ++counts[std::string("undecided") + kind];
      ++undecided_why[d.reason.substr(0, d.reason.find(':') == std::string::npos ? d.reason.size() : d.reason.find(':') + 30)];
      if (!p.equivalent) continue;
      for (int k = 0; k < kDatabases; ++k) {
        const std::string db = gen.database(p.first);
        const proofrun::pair_run r = proofrun::run_pair(db, p.first, p.second, rows_only);
        ASSERT_FALSE(r.differs()) << "a rewrite that is no equivalence: " << what << "\non\n" << db;
      }
    }
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "soundness run: " << done << " pairs in " << elapsed << " s\n";
  for (const auto& [k, n] : counts) std::cout << "  " << k << ": " << n << "\n";
  for (const auto& [k, n] : undecided_why) std::cout << "  undecided, " << k << ": " << n << "\n";
}

}  // namespace
