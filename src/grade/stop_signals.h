// SIGINT and SIGTERM as events the grader waits for, rather than as
// interruptions: while a stop_signals lives, the two signals are blocked and
// delivered through a descriptor that the grader polls beside its workers'
// pipes, so a stop is seen at one well-defined point and every verdict
// decided before it is kept.
#ifndef RELALG_GRADE_STOP_SIGNALS_H
#define RELALG_GRADE_STOP_SIGNALS_H

namespace grade {

class stop_signals {
 public:
  stop_signals();
  ~stop_signals();
  stop_signals(const stop_signals&) = delete;
  stop_signals& operator=(const stop_signals&) = delete;

  // Readable when a signal is pending; -1 when none could be made, and
  // then the signals keep their usual effect.
  int fd() const { return fd_; }
  // The signal received (SIGINT or SIGTERM), or 0; reads the descriptor
  // without waiting.
  int received();

  // In a forked worker: the signals' usual effect back, the descriptor
  // closed (the worker has nothing to stop gracefully).
  void release_in_child();

 private:
  int fd_ = -1;
  int got_ = 0;
  bool blocked_ = false;
};

}  // namespace grade

#endif
