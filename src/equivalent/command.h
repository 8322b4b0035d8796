// The equivalence check from start to end: relalg --equivalent A [B]
// [--rows-only] [--search N] [--seed N] [--json] [--max-rows N]. Exit
// status: 0 proved, 3 differs, 4 undecided, 1 a file cannot be read or a
// query fails on the database, 2 wrong command line.
#ifndef RELALG_EQUIVALENT_COMMAND_H
#define RELALG_EQUIVALENT_COMMAND_H

#include "grade/grade.h"

// The whole command over the full argument vector (argv[0] is the program).
int equivalence_main(int argc, char** argv, const command_texts& texts);

// Whether the arguments ask for it: one of them, before any "--", is
// "--equivalent" or "--equivalent=...".
bool wants_equivalence(int argc, char** argv);

#endif
