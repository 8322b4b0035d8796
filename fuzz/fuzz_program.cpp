// Whole runs on arbitrary input: whatever the bytes, a run ends in status 0
// or 1, the output begins with the echo, the message matches the status and
// is one line or a positioned message, warnings, explain and trace change
// nothing but what goes beside the output, and the same input gives the
// same result; all of it with --extended too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/loader.h"
#include "engine/pipeline.h"
#include "table.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view input, const run_result& r) {
  std::fprintf(stderr, "fuzz_program: %s\n  status %d\n  error '%s'\n  input %zu bytes\n", what,
               r.status, r.messages.c_str(), input.size());
  std::abort();
}

// Nested products grow geometrically; keep every run small and quick.
run_options small_runs(bool extended) {
  run_options o;
  o.limits.row_limit = 20000;
  o.limits.memory_budget = std::size_t{256} << 20;
  o.extended = extended;
  return o;
}

void check(std::string_view input, const run_options& options, const run_options& watched) {
  const std::size_t size = input.size();
  const run_result r = run_text(input, options);

  if (r.status != exit_ok && r.status != exit_failed) fail("status is neither 0 nor 1", input, r);

  std::string echo(input);
  echo += echo_suffix(input);
  if (r.output.compare(0, echo.size(), echo) != 0) fail("output does not begin with the echo", input, r);

  if (r.status == exit_ok) {
    if (!r.messages.empty()) fail("status 0 with a message", input, r);
    // The result table follows: at least its header line, ended by a line feed.
    if (r.output.size() <= echo.size()) fail("status 0 but no result table", input, r);
    if (r.output.back() != '\n') fail("result table does not end with a line feed", input, r);
  } else {
    if (r.messages.empty()) fail("status 1 without a message", input, r);
    // One line, or a positioned first line, the line it is about and a
    // caret line.
    const std::size_t lines = static_cast<std::size_t>(std::count(r.messages.begin(), r.messages.end(), '\n'));
    if (r.messages.back() != '\n' || r.messages.rfind("relalg: ", 0) != 0 || (lines != 1 && lines != 3)) {
      fail("message is neither one line nor a positioned message", input, r);
    }
    if (r.output != echo) fail("failed run wrote more than the echo", input, r);
  }

  // Warnings, explain and trace write beside the output, never into it.
  const run_result w = run_text(input, watched);
  if (w.status != r.status || w.output != r.output) fail("--warn --explain --trace changed the run", input, r);
  if (r.status == exit_ok && w.explain.empty()) fail("no explain output", input, r);
  if (w.messages.size() < r.messages.size() ||
      w.messages.compare(w.messages.size() - r.messages.size(), r.messages.size(), r.messages) != 0) {
    fail("the failure is not the last message of a watched run", input, r);
  }

  if (size < 256) {
    const run_result again = run_text(input, options);
    if (again.status != r.status || again.output != r.output || again.messages != r.messages) {
      fail("two runs of the same input differ", input, r);
    }
  }
}

run_options watching(run_options o) {
  o.warn = run_options::warnings::on;
  o.explain = run_options::explain_form::json;
  o.trace_rows = 3;
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  static const run_options plain = small_runs(false);
  static const run_options extended = small_runs(true);
  check(input, plain, watching(plain));
  check(input, extended, watching(extended));
  return 0;
}
