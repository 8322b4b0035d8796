// The program against the reference on thousands of small random inputs,
// and on a few hundred of middling size whose operands differ enough in
// size for merges by binary search. A failure names the seed and shows the
// input.
#include <gtest/gtest.h>

#include "compare.h"
#include "generator.h"

namespace {

void run_seeds(uint64_t first, int count, const diff::generator_options& options) {
  int failures = 0;
  for (int i = 0; i < count && failures < 3; ++i) {
    const uint64_t seed = first + static_cast<uint64_t>(i);
    const std::string input = diff::generator(seed, options).input();
    const auto same = diff::engine_matches_reference(input, options.extended);
    if (!same) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << ": " << same.message() << "\ninput: "
                    << diff::shown(input, 2000);
    }
  }
}

TEST(RandomInputs, SmallTablesAndDeepQueries) {
  run_seeds(1, diff::kSanitized ? 1500 : 3000, {});
}

TEST(RandomInputs, NoisyQueries) {
  diff::generator_options o;
  o.noise = 0.5;
  o.max_depth = 3;
  run_seeds(100000, diff::kSanitized ? 800 : 2000, o);
}

// join, njoin, intersect and divide, read with --extended, against their
// plain definitions in the reference.
TEST(RandomInputs, ExtendedOperations) {
  diff::generator_options o;
  o.extended = true;
  // One operation over tables, without noise: most of them have a result.
  o.max_depth = 1;
  o.noise = 0;
  run_seeds(290000, diff::kSanitized ? 2000 : 6000, o);
  o.max_depth = 3;
  o.noise = 0.15;
  run_seeds(300000, diff::kSanitized ? 1000 : 3000, o);
  o.noise = 0.4;
  run_seeds(310000, diff::kSanitized ? 300 : 1000, o);
  o.noise = 0.05;
  o.max_rows = 300;
  run_seeds(320000, diff::kSanitized ? 30 : 100, o);
}

TEST(RandomInputs, MiddlingTables) {
  diff::generator_options o;
  o.max_rows = 1500;
  o.max_depth = 3;
  o.noise = 0.05;
  run_seeds(200000, diff::kSanitized ? 60 : 200, o);
}

}  // namespace
