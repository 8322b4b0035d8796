// What grading reads: the exercises (one reference file, or a folder of
// NAME.txt references with their NAME.dbK.txt databases and a manifest of
// points and visibility), the extra databases of --db, and the submissions
// (files, or folders holding a NAME.txt per exercise).
#ifndef RELALG_GRADE_INPUTS_H
#define RELALG_GRADE_INPUTS_H

#include <stdexcept>
#include <string>
#include <vector>

#include "grade/engine_adapter.h"
#include "grade/options.h"

namespace grade {

// The manifest of a reference folder: lines
// "NAME POINTS [VISIBILITY] [hidden=dbK,...|hidden=all]".
constexpr const char* kManifestName = "manifest";

struct database_input {
  std::string label;  // the file it comes from
  source src;         // its query line is ignored
  bool hidden = false;  // its name and rows are never shown to a student
};

struct exercise {
  std::string name;  // empty for a single reference file
  std::string reference_path;
  std::string reference_query;
  std::vector<database_input> databases;  // the reference's own first
  double points = 1;
  std::string visibility = "visible";
};

struct submission_input {
  std::string path;  // the file graded
  bool missing = false;   // no such file in a submission folder: wrong
  bool readable = true;   // else in error
  std::string problem;    // why it is missing or cannot be read
  std::string query;      // its first line
  bool ignored_lines = false;  // lines after the first that are not empty
  std::string second_line;     // line 2 of the file, for a query wrapped onto it
  bool dropped_bom = false;    // a byte order mark before the query, dropped
  bool dropped_cr = false;     // a carriage return after it, dropped
};

struct grading_inputs {
  bool folders = false;
  std::vector<exercise> exercises;
  // submissions[e][k]: exercise e of the k-th SUBMISSION argument.
  std::vector<std::vector<submission_input>> submissions;
  // The manifest's constraint changes, then the command line's.
  std::vector<constraint_change> constraint_changes;
};

// Grading cannot run; what() is the whole message, "relalg: " included.
struct input_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads a whole file ("-": standard input) into out, or gives the message
// "cannot read 'PATH': REASON".
bool read_file(const std::string& path, std::string& out, std::string& message);

// Throws input_error when a reference, a database or the manifest cannot be
// read or is malformed. Reference queries are not evaluated here.
grading_inputs load_inputs(const grade_options& o);

struct manifest_entry {
  std::string name;
  double points = 1;
  std::string visibility = "visible";
  // The extra databases (K of NAME.dbK.txt) marked hidden=dbK,... or
  // hidden=all (every extra database: hidden_all).
  std::vector<unsigned long> hidden;
  bool hidden_all = false;
  std::size_t line = 0;  // where it stands, for messages
};

// Parses a manifest's text; `path` names it in messages. Lines "add C" and
// "drop C" (C a constraint, or "all" for drop) change the constraints
// inferred for every exercise; they go to `changes` when it is given.
// Throws input_error with a positioned message.
std::vector<manifest_entry> parse_manifest(const std::string& text, const std::string& path,
                                           std::vector<constraint_change>* changes = nullptr);

}  // namespace grade

#endif
