// The page's way into the engine: one call that runs the whole program over
// an input held in memory, as `relalg [FLAGS] - OUTPUT < input` would with
// the explain output going to a file, and hands back the output file's
// bytes, the exit status, what standard error would hold and the explain
// output. A second call writes the query's formula, as `relalg
// --notation=FORM - OUTPUT < input` would. Compiled only into the
// WebAssembly module (web/build.sh); the functions are called from
// JavaScript by name.
#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/loader.h"
#include "engine/pipeline.h"
#include "notation/run.h"

namespace {

// The module's memory may grow to 4 GiB. As the command line refuses a
// product that would not fit in half of the machine's memory, the page
// refuses one that would not fit in half of that.
constexpr std::size_t kMemoryBudget = std::size_t{2} << 30;

struct web_result {
  int status = 0;
  std::string output;
  std::string messages;  // standard error, byte for byte, less the explain output
  std::string diagnostics;  // the same messages as values: one JSON object per line
  std::string explain;   // the explain output's bytes; "null" for no JSON document
  std::size_t rows = 0;  // rows of the printed result table
};

// The rows of the result table that follows the echo of input in output:
// its lines less the header line.
std::size_t result_rows(std::string_view input, const std::string& output) {
  const std::size_t echo = input.size() + echo_suffix(input).size();
  if (output.size() <= echo) return 0;
  const auto lines = std::count(output.begin() + static_cast<std::ptrdiff_t>(echo), output.end(), '\n');
  return lines > 0 ? static_cast<std::size_t>(lines) - 1 : 0;
}

// The options of a run from the flags word of relalg_run.
run_options options_of(int flags, int trace_rows, double max_rows) {
  run_options options;
  options.limits.memory_budget = kMemoryBudget;
  switch (flags & 3) {
    case 1: options.warn = run_options::warnings::on; break;
    case 2: options.warn = run_options::warnings::fail; break;
    default: break;
  }
  switch ((flags >> 2) & 3) {
    case 1: options.explain = run_options::explain_form::json; break;
    case 2: options.explain = run_options::explain_form::text; break;
    default: break;
  }
  if (trace_rows >= 0) {
    options.trace_rows = trace_rows;
    // As on the command line, tracing alone explains as text.
    if (options.explain == run_options::explain_form::none) options.explain = run_options::explain_form::text;
  }
  if (max_rows >= 0) {
    options.limits.row_limit = max_rows >= 1.8e19 ? SIZE_MAX : static_cast<std::size_t>(max_rows);
  }
  options.extended = (flags & 16) != 0;
  return options;
}

// An output file held in memory.
class string_sink : public output_sink {
 public:
  explicit string_sink(std::string& out) : out_(out) {}
  void write(std::string_view bytes) override { out_.append(bytes); }

 private:
  std::string& out_;
};

}  // namespace

extern "C" {

// Runs the program over len bytes at data. flags: bits 0-1 the warnings
// (0 off, 1 --warn, 2 --warn=error), bits 2-3 the explain output (0 none,
// 1 JSON as --explain=FILE.json writes it, 2 text as --explain), bit 4
// --extended (join, njoin, intersect and divide are read); trace_rows
// is N of --trace=N (negative: no tracing); max_rows N of --max-rows=N
// (negative: none). Returns a result to be read with the accessors below
// and released with relalg_free, or null when not even that could be
// allocated.
web_result* relalg_run(const char* data, std::size_t len, int flags, int trace_rows, double max_rows) {
  auto* r = new (std::nothrow) web_result;
  if (r == nullptr) return nullptr;
  try {
    const run_options options = options_of(flags, trace_rows, max_rows);
    const std::string_view input(data, len);
    run_result run = run_text(input, options);
    r->status = run.status;
    r->output = std::move(run.output);
    if (run.status == exit_ok) r->rows = result_rows(input, r->output);
    r->messages = std::move(run.messages);
    for (const diagnostic& d : run.diagnostics) {
      r->diagnostics += render_diagnostic(message_form::json, options.input_name, input, d);
    }
    // No document reads as JSON's null; the text form is handed on as it is.
    const bool text = options.explain == run_options::explain_form::text;
    r->explain = text || !run.explain.empty() ? std::move(run.explain) : std::string("null");
  } catch (const std::bad_alloc&) {
    r->status = exit_failed;
    r->output.clear();
    r->messages = "relalg: out of memory: the tables and results of this query do not fit\n";
    r->diagnostics = render_diagnostic(message_form::json, "<stdin>", "",
                                       unplaced(severity::error, "out of memory: the tables and results of this query do not fit"));
    r->explain = "null";
  }
  return r;
}

// Writes the formula of the query of the len bytes at data: form 0 in
// Unicode, 1 in LaTeX, plus 2 for --extended. The result's output is the formula and a line feed,
// its messages the failure of a query without a result; it has no explain
// output and no rows. Released with relalg_free; null when it could not be
// allocated.
web_result* relalg_formula(const char* data, std::size_t len, int form) {
  auto* r = new (std::nothrow) web_result;
  if (r == nullptr) return nullptr;
  r->explain = "null";
  try {
    string_sink sink(r->output);
    const auto f = (form & 1) != 0 ? relalg_notation::notation_form::latex : relalg_notation::notation_form::unicode;
    const std::string_view input(data, len);
    std::vector<diagnostic> messages;
    r->status = relalg_notation::run_notation(input, f, sink, messages, (form & 2) != 0);
    for (const diagnostic& d : messages) {
      r->messages += render_diagnostic(message_form::text, "<stdin>", input, d);
      r->diagnostics += render_diagnostic(message_form::json, "<stdin>", input, d);
    }
    if (r->status != exit_ok) r->output.clear();
  } catch (const std::bad_alloc&) {
    r->status = exit_failed;
    r->output.clear();
    r->messages = "relalg: out of memory: the tables and results of this query do not fit\n";
  }
  return r;
}

int relalg_status(const web_result* r) { return r->status; }
const char* relalg_output(const web_result* r) { return r->output.data(); }
std::size_t relalg_output_size(const web_result* r) { return r->output.size(); }
const char* relalg_messages(const web_result* r) { return r->messages.data(); }
std::size_t relalg_messages_size(const web_result* r) { return r->messages.size(); }
const char* relalg_diagnostics(const web_result* r) { return r->diagnostics.data(); }
std::size_t relalg_diagnostics_size(const web_result* r) { return r->diagnostics.size(); }
const char* relalg_explain(const web_result* r) { return r->explain.data(); }
std::size_t relalg_explain_size(const web_result* r) { return r->explain.size(); }
std::size_t relalg_rows(const web_result* r) { return r->rows; }
void relalg_free(web_result* r) { delete r; }

}  // extern "C"
