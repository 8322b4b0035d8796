// The driver: command line, loading and echo, evaluation and output.
#ifndef RELALG_MAIN_H
#define RELALG_MAIN_H

#include <string>
#include <string_view>

#include "database.h"

// Exit statuses.
constexpr int exit_ok = 0;       // the result table was written
constexpr int exit_failed = 1;   // the run failed; see the message
constexpr int exit_usage = 2;    // wrong command line

// Loads the table blocks of an input text into db and returns the query,
// the input's first line. With defer_rows, row lines are only collected in
// db.pending, to be parsed by db.materialize() while input is still alive.
std::string load_input(std::string_view input, database& db, bool defer_rows = false);

// The echo of an input is the input itself followed by this: the line feed
// its last line may lack, and the empty line the final read adds.
std::string_view echo_suffix(std::string_view input);

// The whole program over an input held in memory: the output file's bytes,
// the message that would go to standard error (empty on success) and the
// exit status.
struct run_result {
  int status = exit_ok;
  std::string output;
  std::string error;
};
run_result run_text(std::string_view input);

// The command-line program.
int relalg_main(int argc, char** argv);

#endif
