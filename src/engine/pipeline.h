// The one pipeline from an input text to the output file's bytes, the
// message and the exit status, which the command line and the in-process
// entry point (tests, fuzzing, the web page) both run: echo the input, load
// its tables, read the query into a plan, evaluate it and print the result.
#ifndef RELALG_ENGINE_PIPELINE_H
#define RELALG_ENGINE_PIPELINE_H

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

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
};

// What a run says besides its output: the bytes for standard error
// (warnings, and the failure when there is one), and the explain output.
struct run_report {
  std::string messages;
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

// The words for a failure that evaluation threw: its message, or what
// running out of memory means here.
std::string failure_message(const std::exception_ptr& e);

// Runs the program over input. Returns the exit status.
int run_program(std::string_view input, const run_options& options, output_sink& out,
                run_report& report);

#endif
