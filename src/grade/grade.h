// Grading queries against a reference: relalg --grade REFERENCE [--db FILE]...
// [--search N] [--seed N] [--rows-only] [--json] [--gradescope FILE]
// [--max-rows N] [--jobs N] [--time-limit SECONDS] [--memory-limit MB]
// SUBMISSION...
#ifndef RELALG_GRADE_GRADE_H
#define RELALG_GRADE_GRADE_H

#include <string_view>

// The command line's own texts, which grading prints too.
struct command_texts {
  std::string_view usage;    // the usage lines, without a final line feed
  std::string_view help;     // the --help text
  std::string_view version;  // the --version line, without a line feed
};

// The whole grading command over the full argument vector (argv[0] is the
// program). Exit status: 0 every submission correct, 3 some wrong or in
// error, 1 grading could not run or was stopped by SIGINT or SIGTERM, 2
// wrong command line. Blocks SIGINT and SIGTERM while it runs.
int grade_main(int argc, char** argv, const command_texts& texts);

// Whether the arguments ask for grading: one of them, before any "--", is
// "--grade" or "--grade=...".
bool wants_grading(int argc, char** argv);

#endif
