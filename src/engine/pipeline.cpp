// The pipeline, and the in-process entry points declared in main.h.
#include "engine/pipeline.h"

#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "algo.h"
#include "engine/diagnostic.h"
#include "engine/errors.h"
#include "engine/explain.h"
#include "engine/lint.h"
#include "engine/loader.h"
#include "engine/schema.h"
#include "engine/stream.h"
#include "engine/parser.h"
#include "engine/printer.h"
#include "engine/rewrite.h"
#include "main.h"

namespace {

// Evaluation never recurses (plans and conditions are walked with explicit
// stacks, conditions tested by a loop), so it runs on the calling thread
// whatever the depth of the query.
relation evaluate_sized(algo& interp, const plan& p, eval_observer* observer) {
  return interp.evaluate(p, observer);
}

class string_sink : public output_sink {
 public:
  explicit string_sink(std::string& out) : out_(out) {}
  void write(std::string_view bytes) override { out_ += bytes; }

 private:
  std::string& out_;
};

}  // namespace

std::string failure_message(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return "out of memory: the tables and results of this query do not fit";
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "unexpected failure";
  }
}

namespace {

// The message of a failure: positioned when it has a place in the query.
std::string failure_text(const std::exception_ptr& e, const run_options& options, const plan* p) {
  try {
    std::rethrow_exception(e);
  } catch (const evaluation_error& x) {
    if (x.placed() && p != nullptr) {
      return format_diagnostic(options.input_name, p->line, {severity::error, 1, x.span(), x.what(), {}});
    }
  } catch (...) {
  }
  return "relalg: " + failure_message(e) + "\n";
}

// The diagnostic's line as written: line 1 is the query.
std::string_view input_line(std::string_view input, uint32_t line) {
  std::size_t from = 0;
  for (uint32_t k = 1; k < line && from <= input.size(); ++k) {
    const std::size_t nl = input.find('\n', from);
    from = nl == std::string_view::npos ? input.size() + 1 : nl + 1;
  }
  if (from > input.size()) return {};
  const std::size_t end = input.find('\n', from);
  return input.substr(from, (end == std::string_view::npos ? input.size() : end) - from);
}

}  // namespace

int run_program(std::string_view input, const run_options& options, output_sink& out,
                run_report& report) {
  auto db = std::make_unique<database>();
  std::unique_ptr<algo> interp;
  std::unique_ptr<plan> p;
  const bool watched = options.explain != run_options::explain_form::none || options.trace_rows >= 0;
  std::unique_ptr<explain_recorder> recorder;
  std::vector<node_schema> schemas;
  int status = exit_ok;
  // The end of every run: the explain output, and the memory left to the
  // system when the process ends at once.
  const auto finish = [&](int result) {
    if (recorder) {
      report.explain = options.explain == run_options::explain_form::json
                           ? explain_json(*p, schemas, *recorder, result)
                           : explain_text(*p, schemas, *recorder);
    }
    if (options.exit_after && result == exit_ok) {
      (void)db.release();
      (void)interp.release();
      (void)p.release();
    }
    return result;
  };
  try {
    std::string query = load_tables(input, db->tables, true);
    // The whole echo is written before evaluation begins.
    out.echo(input);
    out.write(echo_suffix(input));
    if (!out.ok()) return exit_failed;

    std::string buf;
    buf.reserve(1 << 20);
    const auto spill = [&out](std::string& b) {
      out.write(b);
      b.clear();
    };
    const stored_table* named = db->find(query);
    if (named != nullptr && !watched && options.warn == run_options::warnings::off &&
        (!named->parsed() || named->row_count() == 0)) {
      // The query names a table: print it straight from its row lines.
      stream_table(*named, buf, spill);
    } else {
      // The plan is read before the tables' rows are parsed, so that a query
      // answered straight from row lines never parses them. Its table nodes
      // point at catalog entries, which stay where they are when the
      // catalog moves into the interpreter.
      const bool warn = options.warn != run_options::warnings::off;
      p = std::make_unique<plan>(parse_query(std::move(query), db->tables, {warn}));
      const bool joins = may_join(*p);
      const bool quiet = !watched && !warn;
      const bool streams = quiet && (stream_shape(*p) || set_shape(*p));
      if (watched || joins || warn || streams) schemas = plan_schemas(*p);
      if (streams && streamable(*p, schemas)) {
        stream_query(*p, schemas, buf, spill);
        out.write(buf);
        return finish(exit_ok);
      }
      if (streams && schemas[static_cast<std::size_t>(p->root)].ok && stream_sets(*p, schemas, buf, spill)) {
        out.write(buf);
        return finish(exit_ok);
      }
      interp = std::make_unique<algo>(std::move(*db), options.limits);
      if (options.warn != run_options::warnings::off) {
        std::vector<diagnostic> warnings = lint_query(*p, schemas);
        std::vector<diagnostic> tables = lint_tables(input);
        warnings.insert(warnings.end(), tables.begin(), tables.end());
        order_warnings(warnings);
        if (options.warn == run_options::warnings::fail && !warnings.empty()) {
          diagnostic first = warnings.front();
          first.level = severity::error;
          first.message += " [--warn=error]";
          report.messages += format_diagnostic(options.input_name, input_line(input, first.line), first);
          return exit_failed;
        }
        for (const diagnostic& d : warnings) {
          report.messages += format_diagnostic(options.input_name, input_line(input, d.line), d);
        }
      }
      if (joins) rewrite_joins(*p, schemas);
      if (watched) recorder = std::make_unique<explain_recorder>(*p, options.trace_rows);
      const relation result = evaluate_sized(*interp, *p, recorder.get());
      print_relation(result, buf, spill);
    }
    out.write(buf);
  } catch (...) {
    report.messages += failure_text(std::current_exception(), options, p.get());
    status = exit_failed;
  }
  return finish(status);
}

std::string load_input(std::string_view input, database& db, bool keep_views) {
  return load_tables(input, db.tables, keep_views);
}

run_result run_text(std::string_view input, const run_options& options) {
  run_result r;
  string_sink sink(r.output);
  run_report report;
  r.status = run_program(input, options, sink, report);
  r.messages = std::move(report.messages);
  r.explain = std::move(report.explain);
  return r;
}

run_result run_text(std::string_view input) { return run_text(input, run_options{}); }
