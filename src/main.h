// The driver: the command line, and the in-process entry points that run
// the same pipeline (engine/pipeline.h) over an input held in memory.
#ifndef RELALG_MAIN_H
#define RELALG_MAIN_H

#include <string>
#include <string_view>

#include "database.h"
#include "engine/loader.h"
#include "engine/pipeline.h"

// Loads the table blocks of an input text into db and returns the query,
// the input's first line. With keep_views, row lines are only noted as
// pending views of input, which must then outlive db; they are parsed when
// an interpreter is made from db.
std::string load_input(std::string_view input, database& db, bool keep_views = false);

// The whole program over an input held in memory: the output file's bytes,
// what would go to standard error, byte for byte, the explain output and
// the exit status.
struct run_result {
  int status = exit_ok;
  std::string output;
  std::string messages;
  std::string explain;
};
run_result run_text(std::string_view input);
run_result run_text(std::string_view input, const run_options& options);

// The command-line program.
int relalg_main(int argc, char** argv);

#endif
