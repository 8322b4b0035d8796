// The page's way into the engine: one call that runs the whole program over
// an input held in memory, as `relalg - OUTPUT < input` would, and hands back
// the output file's bytes, the exit status, what standard error would hold
// and the plan tree as JSON. Compiled only into the WebAssembly module
// (web/build.sh); the functions are called from JavaScript by name.
#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "main.h"

namespace {

// The module's memory may grow to 4 GiB. As the command line refuses a
// product that would not fit in half of the machine's memory, the page
// refuses one that would not fit in half of that.
constexpr std::size_t kMemoryBudget = std::size_t{2} << 30;

struct web_result {
  int status = 0;
  std::string output;
  std::string messages;  // standard error, byte for byte
  std::string explain;   // a JSON document; "null" while there is no plan tree
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

}  // namespace

extern "C" {

// Runs the program over len bytes at data. Returns a result to be read with
// the accessors below and released with relalg_free, or null when not even
// that could be allocated.
web_result* relalg_run(const char* data, std::size_t len) {
  auto* r = new (std::nothrow) web_result;
  if (r == nullptr) return nullptr;
  try {
    run_options options;
    options.limits.memory_budget = kMemoryBudget;
    const std::string_view input(data, len);
    run_result run = run_text(input, options);
    r->status = run.status;
    r->output = std::move(run.output);
    if (run.status == exit_ok) r->rows = result_rows(input, r->output);
    r->messages = std::move(run.messages);
    r->explain = "null";
  } catch (const std::bad_alloc&) {
    r->status = exit_failed;
    r->output.clear();
    r->messages = "relalg: out of memory: the tables and results of this query do not fit\n";
    r->explain = "null";
  }
  return r;
}

int relalg_status(const web_result* r) { return r->status; }
const char* relalg_output(const web_result* r) { return r->output.data(); }
std::size_t relalg_output_size(const web_result* r) { return r->output.size(); }
const char* relalg_messages(const web_result* r) { return r->messages.data(); }
std::size_t relalg_messages_size(const web_result* r) { return r->messages.size(); }
const char* relalg_explain(const web_result* r) { return r->explain.data(); }
std::size_t relalg_explain_size(const web_result* r) { return r->explain.size(); }
std::size_t relalg_rows(const web_result* r) { return r->rows; }
void relalg_free(web_result* r) { delete r; }

}  // extern "C"
