// Databases grading builds on its own, beside the teacher's databases and
// their random parts, so that a wrong answer the teacher's data happens to
// agree with still shows: from the two queries' shapes and the teacher's
// data, each keeping every constraint of the exercise. The kinds:
//
//   structural  the teacher's data with a table emptied, a table cut to one
//               row, or a row repeated with only what the keys need changed;
//   boundary    the teacher's data with one value set to a constant a query
//               compares its column with, or to a neighbour of it; and, to
//               break an answer written out as constants, the values equal
//               to such a constant changed (one row, then all of them);
//   canonical   one row per table occurrence of one way a query finds a
//               row, its conditions met, and variations with one of its
//               conditions broken;
//   random      one to four rows per table, drawn from the teacher's rows,
//               the queries' constants, their neighbours and the teacher's
//               values.
//
// Each builder appends candidates; the driver (database_builder) repairs
// them (references, keys, order), drops those it cannot make valid or has
// seen already, and hands them out in the order above.
#ifndef RELALG_GRADE_BUILT_H
#define RELALG_GRADE_BUILT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "grade/build_context.h"
#include "grade/exercise_facts.h"
#include "grade/instance.h"

namespace grade {

enum class built_kind : std::uint8_t { structural, boundary, canonical, random };

// "structural", "boundary", "canonical", "random".
const char* built_kind_name(built_kind k);

struct built_database {
  built_kind kind = built_kind::random;
  std::string what;  // how it was made, in a few words for the feedback
  instance data;     // over the exercise's first database's schema, valid
};

// Candidates of each kind, appended to `out` (not yet repaired).
void build_structural(build_context& ctx, std::vector<built_database>& out);
void build_boundary(build_context& ctx, std::vector<built_database>& out);
void build_canonical(build_context& ctx, std::vector<built_database>& out);
// `count` random candidates.
void build_random(build_context& ctx, std::size_t count, std::vector<built_database>& out);

// Which builders a database_builder runs: the targeted ones (structural,
// boundary, canonical), which depend on both queries, or the random one,
// which grading runs on the reference alone, once per exercise, so that
// every submission is compared on the same random databases.
enum class build_phases : std::uint8_t { targeted, random, all };

// Hands out valid built databases for a set of queries (the reference's
// first), none twice, as an input text each (the reference's query on
// line 1).
class database_builder {
 public:
  database_builder(const exercise_facts& facts, const std::vector<std::string>& queries, std::uint64_t seed,
                   build_phases phases = build_phases::all);

  // The next database with its input text, or nothing when every builder
  // is spent (random ones never are, but give up after many failures).
  struct item {
    built_database db;
    std::string text;
  };
  std::optional<item> next();

  // Candidates made and given up (invalid or seen), for measuring.
  std::size_t made() const { return made_; }
  std::size_t dropped() const { return dropped_; }

 private:
  void refill();

  build_context ctx_;
  std::string query_;
  std::vector<built_database> queue_;
  std::size_t at_ = 0;
  int phase_ = 0;
  int last_ = 3;  // the last phase run
  std::unordered_set<std::string> seen_;
  std::size_t made_ = 0;
  std::size_t dropped_ = 0;
  std::size_t fruitless_ = 0;
  // random rounds in a row that gave nothing new
};

}  // namespace grade

#endif
