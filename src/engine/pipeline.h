// The one pipeline from an input text to the output file's bytes, the
// messages and the exit status, which the command line and the in-process
// entry point (tests, fuzzing, the web page) both run: echo the input, load
// its tables into a session (session.h), read the query, warn, evaluate it
// by its path and print the result.
#ifndef RELALG_ENGINE_PIPELINE_H
#define RELALG_ENGINE_PIPELINE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/run_limits.h"

// Exit statuses.
constexpr int exit_ok = 0;      // the result table was written
constexpr int exit_failed = 1;  // the run failed; see the message
constexpr int exit_usage = 2;   // wrong command line

struct run_options {
  eval_limits limits;
  // The program ends as soon as the run does: the tables need not be torn
  // down (the system reclaims their memory faster).
  bool exit_after = false;
  // How messages name the input: the path as given, "<stdin>" for "-".
  std::string input_name = "<stdin>";
  // Warnings about what the language absorbs silently; with fail, the first
  // one fails the run (no result table) before evaluation.
  enum class warnings : uint8_t { off, on, fail } warn = warnings::off;
  // The plan after evaluation, as text or JSON (run_report::explain).
  enum class explain_form : uint8_t { none, text, json } explain = explain_form::none;
  // With tracing (>= 0), each node's first rows go into the explain output.
  long trace_rows = -1;
  // How messages are written: the text form, or one JSON object per line
  // (diagnostic.h).
  message_form diagnostics = message_form::text;
  // The query may use the extended operations (join, njoin, intersect,
  // divide).
  bool extended = false;
};

// What a run says besides its output: the bytes for standard error
// (warnings, and the failure when there is one), the same messages as
// values, and the explain output.
struct run_report {
  std::string messages;
  std::vector<diagnostic> diagnostics;
  std::string explain;
};

// Where the output file's bytes go.
class output_sink {
 public:
  virtual ~output_sink() = default;
  virtual void write(std::string_view bytes) = 0;
  // The echo: the input's own bytes, which a sink may copy another way.
  virtual void echo(std::string_view input) { write(input); }
  // False once a write has failed; the run then stops writing.
  virtual bool ok() const { return true; }
};

// Runs the program over input. Returns the exit status.
int run_program(std::string_view input, const run_options& options, output_sink& out,
                run_report& report);

// The whole program over an input held in memory: the output file's bytes,
// what would go to standard error, byte for byte (and as values), the
// explain output and the exit status.
struct run_result {
  int status = exit_ok;
  std::string output;
  std::string messages;
  std::vector<diagnostic> diagnostics;
  std::string explain;
};
run_result run_text(std::string_view input);
run_result run_text(std::string_view input, const run_options& options);

#endif
