// The pipeline, and the in-process entry points declared in main.h.
#include "engine/pipeline.h"

#include <pthread.h>

#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "algo.h"
#include "engine/loader.h"
#include "engine/printer.h"
#include "main.h"

namespace {

// Stack bytes allowed per level of condition nesting: compiling and testing
// a condition recurse once per level; nothing else recurses.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackPerLevel = 16 << 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t kStackPerLevel = 16 << 10;
#else
constexpr std::size_t kStackPerLevel = 2 << 10;
#endif
#else
constexpr std::size_t kStackPerLevel = 2 << 10;
#endif
constexpr std::size_t kStackBase = 16 << 20;
// Conditions this deep fit the ordinary stack with room to spare.
constexpr std::size_t kShallow = 200;

struct eval_job {
  algo* interp;
  const plan* query;
  relation result;
  std::exception_ptr error;
};

void* run_job(void* arg) {
  auto* job = static_cast<eval_job*>(arg);
  try {
    job->result = job->interp->evaluate(*job->query);
  } catch (...) {
    job->error = std::current_exception();
  }
  return nullptr;
}

// Evaluates on this thread, or for a deeply nested condition on a thread
// with a stack sized for it.
relation evaluate_sized(algo& interp, const plan& p) {
  eval_job job{&interp, &p, {}, nullptr};
  if (p.max_condition_depth <= kShallow) {
    run_job(&job);
  } else {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kStackBase + p.max_condition_depth * kStackPerLevel);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, run_job, &job);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
      throw std::runtime_error("the query is nested " + std::to_string(p.max_depth) +
                               " levels deep, and a stack for that depth cannot be had");
    }
    pthread_join(thread, nullptr);
  }
  if (job.error) std::rethrow_exception(job.error);
  return std::move(job.result);
}

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

class string_sink : public output_sink {
 public:
  explicit string_sink(std::string& out) : out_(out) {}
  void write(std::string_view bytes) override { out_ += bytes; }

 private:
  std::string& out_;
};

}  // namespace

int run_program(std::string_view input, const run_options& options, output_sink& out,
                std::string& message) {
  auto db = std::make_unique<database>();
  std::unique_ptr<algo> interp;
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
    if (named != nullptr && (!named->parsed() || named->row_count() == 0)) {
      // The query names a table: print it straight from its row lines.
      stream_table(*named, buf, spill);
    } else {
      interp = std::make_unique<algo>(std::move(*db), options.limits);
      const plan p = interp->read(std::move(query));
      const relation result = evaluate_sized(*interp, p);
      print_relation(result, buf, spill);
    }
    out.write(buf);
  } catch (...) {
    message = failure_message(std::current_exception());
    return exit_failed;
  }
  if (options.exit_after) {
    // Everything is written; the process ends without tearing the tables
    // down one row at a time.
    (void)db.release();
    (void)interp.release();
  }
  return exit_ok;
}

std::string load_input(std::string_view input, database& db, bool keep_views) {
  return load_tables(input, db.tables, keep_views);
}

run_result run_text(std::string_view input, const run_options& options) {
  run_result r;
  string_sink sink(r.output);
  r.status = run_program(input, options, sink, r.error);
  return r;
}

run_result run_text(std::string_view input) { return run_text(input, run_options{}); }
