// The command-line program: its options and files, around the pipeline
// (engine/pipeline.h).
#ifndef RELALG_MAIN_H
#define RELALG_MAIN_H

// The command-line program: returns the exit status.
int relalg_main(int argc, char** argv);

#endif
