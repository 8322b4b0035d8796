// The command line of grading: relalg --grade REFERENCE [--db FILE]...
// [--search N] [--build N] [--seed N] [--rows-only] [--json] [--gradescope FILE]
// [--max-rows N] [--jobs N] [--time-limit SECONDS] [--memory-limit MB]
// [--prairielearn FILE] [--coderunner] [--add-constraint C] [--drop-constraint C]
// [--explain-constraints] [--extended] SUBMISSION...
#ifndef RELALG_GRADE_OPTIONS_H
#define RELALG_GRADE_OPTIONS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace grade {

// A change to the constraints grading infers: add C, or drop C (C may be
// "all", every inferred one). `origin` names where it was asked for, in
// messages: the option, or the manifest's file and line.
struct constraint_change {
  bool add = true;
  std::string text;
  std::string origin;
};

// Built databases compared per submission by default.
constexpr std::size_t kDefaultBuild = 2000;
// Queries longer than this together (in bytes) are compared on fewer built
// databases, in proportion: each evaluation costs about as much as its
// query is long, and the count must not depend on the machine's speed.
constexpr std::size_t kBuildQueryBytes = 4000;


// What counts as the same result: the same bytes; with rows_only the same
// row lines (the header free); with any_column_order the same rows once the
// submission's columns are put in the reference's order (column_order.h),
// the header free too.
struct match_rules {
  bool rows_only = false;
  bool any_column_order = false;
};

struct grade_options {
  std::string reference;
  std::vector<std::string> databases;  // --db, in order
  std::vector<std::string> submissions;
  std::size_t search = 0;      // random sub-databases per database
  std::size_t build = kDefaultBuild;  // built databases per submission at most; 0: none
  std::uint64_t seed = 1;      // of the random sub-databases
  bool rows_only = false;
  bool any_column_order = false;  // results match whatever the order of their columns
  bool json = false;
  std::optional<std::string> gradescope;
  std::optional<std::string> prairielearn;  // PrairieLearn's results.json
  bool coderunner = false;  // CodeRunner's grader object instead of the report
  std::optional<std::size_t> max_rows;
  std::size_t jobs = 1;        // worker processes grading at once
  double time_limit = 10;      // seconds for all the work of one submission
  std::size_t memory_limit = 0;  // megabytes for it (0 until parsed: then the default)
  // Changes to the inferred constraints, in order: --add-constraint C and
  // --drop-constraint C (C may be "all").
  std::vector<constraint_change> constraint_changes;
  bool explain_constraints = false;  // list the constraints instead of grading
  bool extended = false;       // the queries may use join, njoin, intersect and divide
};

// What counts as the same result under the options.
match_rules rules_of(const grade_options& o);

// The built databases to compare on for queries of these lengths together.
std::size_t build_budget(const grade_options& o, std::size_t query_bytes);

// The workers --jobs defaults to: one per core, at most 4.
std::size_t default_jobs();
// The most --jobs takes: four per core.
std::size_t most_jobs();
// The memory limit by default: the machine's memory divided among the
// jobs, at most 2048 MB.
std::size_t default_memory_limit(std::size_t jobs);

// What the command line asks for: grading, or one of the informational
// requests, or a usage error with its message (without "relalg: ").
struct parsed_command {
  enum kind { grade, help, version, usage_error } what = grade;
  grade_options options;
  std::string error;
};

parsed_command parse_command(const std::vector<std::string>& args);

}  // namespace grade

#endif
