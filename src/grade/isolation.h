// Running work in worker processes under limits, so that nothing one piece
// of work does (run long, fill memory, crash) can take the grader down.
// The grader stays one small, single-threaded process: it forks up to
// `jobs` workers, which take jobs one after another (a worker per job
// would cost a fork and an exit each), and each worker sends a job's
// results back over a pipe as messages. The grader enforces a wall-clock
// deadline per job (SIGKILL) and watches the worker's memory; the worker
// runs under RLIMIT_AS (memory) and RLIMIT_CPU (a backstop for the
// deadline, renewed for each job). A job that exceeds a limit, dies of a
// signal or exits otherwise than by finishing ends with a reason that says
// so, and its worker with it; the next job gets a fresh worker, and the
// other jobs go on. A worker that has grown past half its memory limit is
// replaced too, so that what one job leaves behind never counts against
// the next.
//
// Fork only from a single-threaded process: the engine's helper threads are
// joined before it returns, so between evaluations the grader has none.
#ifndef RELALG_GRADE_ISOLATION_H
#define RELALG_GRADE_ISOLATION_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "grade/stop_signals.h"

namespace grade {

struct worker_limits {
  double seconds = 10;            // wall clock for the whole job
  std::size_t megabytes = 2048;   // memory beyond what the worker shares with the grader
};

// How a job ended, as the grader saw it.
struct job_end {
  enum kind { finished, time_limit, memory_limit, killed, exited, garbled, not_started } how = finished;
  int code = 0;  // the signal, the exit status or the errno of fork
  // The messages the worker sent, every complete one, in order.
  std::vector<std::string> messages;

  // For all but `finished`: what happened, as the end of a sentence
  // ("exceeded the time limit of 10 s").
  std::string why(const worker_limits& l) const;
};

// The worker's side of the pipe.
class channel {
 public:
  explicit channel(int fd) : fd_(fd) {}
  // False when the grader can no longer be reached.
  bool send(std::string_view message);

 private:
  int fd_;
};

// Runs job i for every i < n, in that order of start, work(i, ch) in a
// worker process and done(i, end) in the grader as each job ends. Returns
// false when a stop signal came: the running workers are then killed, and
// done is not called for their jobs nor for the jobs not started.
bool run_workers(std::size_t n, std::size_t jobs, const worker_limits& limits, stop_signals& stop,
                 const std::function<void(std::size_t, channel&)>& work,
                 const std::function<void(std::size_t, job_end&&)>& done);

}  // namespace grade

#endif
