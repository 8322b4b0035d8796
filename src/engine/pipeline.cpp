// The pipeline: the input's echo, then the query through a session (its
// warnings, its path, its result printed), and the messages and explain
// output of the run.
#include "engine/pipeline.h"

#include <memory>

#include "engine/diagnostic.h"
#include "engine/explain.h"
#include "engine/failure.h"
#include "engine/lint.h"
#include "engine/loader.h"
#include "engine/session.h"

namespace {

class string_sink : public output_sink {
 public:
  explicit string_sink(std::string& out) : out_(out) {}
  void write(std::string_view bytes) override { out_ += bytes; }

 private:
  std::string& out_;
};

// Adds a message to the run's report, in the form the options ask for.
void report_message(run_report& report, const run_options& options, std::string_view input, const diagnostic& d) {
  report.messages += render_diagnostic(options.diagnostics, options.input_name, input, d);
  report.diagnostics.push_back(d);
}

}  // namespace

int run_program(std::string_view input, const run_options& options, output_sink& out,
                run_report& report) {
  std::unique_ptr<session> s;
  std::unique_ptr<prepared_query> q;
  const bool watched = options.explain != run_options::explain_form::none || options.trace_rows >= 0;
  const bool warn = options.warn != run_options::warnings::off;
  std::unique_ptr<explain_recorder> recorder;
  // The end of every run: the explain output, and the memory left to the
  // system when the process ends at once.
  const auto finish = [&](int result) {
    if (recorder) {
      const explained_path path{q->path(), q->plain_path()};
      report.explain = options.explain == run_options::explain_form::json
                           ? explain_json(q->query_plan(), q->schemas(), *recorder, result, path)
                           : explain_text(q->query_plan(), q->schemas(), *recorder, path);
    }
    if (options.exit_after && result == exit_ok) {
      (void)s.release();
      (void)q.release();
    }
    return result;
  };
  try {
    s = std::make_unique<session>(input);
    // The whole echo is written before evaluation begins.
    out.echo(input);
    out.write(echo_suffix(input));
    if (!out.ok()) return exit_failed;

    // The plan is read before the tables' rows are parsed, so that a query
    // answered straight from row lines never parses them.
    q = std::make_unique<prepared_query>(s->prepare(s->query(), {warn, watched, options.extended}));
    if (warn) {
      std::vector<diagnostic> warnings = q->warnings();
      std::vector<diagnostic> tables = lint_tables(input);
      warnings.insert(warnings.end(), tables.begin(), tables.end());
      order_warnings(warnings);
      if (options.warn == run_options::warnings::fail && !warnings.empty()) {
        diagnostic first = warnings.front();
        first.level = severity::error;
        first.message += " [--warn=error]";
        report_message(report, options, input, first);
        return exit_failed;
      }
      for (const diagnostic& d : warnings) report_message(report, options, input, d);
    }
    if (watched) recorder = std::make_unique<explain_recorder>(q->query_plan(), options.trace_rows);
    std::string buf;
    buf.reserve(1 << 20);
    const auto spill = [&out](std::string& b) {
      out.write(b);
      b.clear();
    };
    const answer a = s->print(*q, {options.limits, recorder.get()}, buf, spill);
    if (!a.ok()) {
      report_message(report, options, input, a.failure());
      return finish(exit_failed);
    }
    out.write(buf);
  } catch (...) {
    // Loading ran out of memory: nothing has a place yet.
    report_message(report, options, input, failure_diagnostic(std::current_exception()));
    return finish(exit_failed);
  }
  return finish(exit_ok);
}

run_result run_text(std::string_view input, const run_options& options) {
  run_result r;
  string_sink sink(r.output);
  run_report report;
  r.status = run_program(input, options, sink, report);
  r.messages = std::move(report.messages);
  r.explain = std::move(report.explain);
  r.diagnostics = std::move(report.diagnostics);
  return r;
}

run_result run_text(std::string_view input) { return run_text(input, run_options{}); }
