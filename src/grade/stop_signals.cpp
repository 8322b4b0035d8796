// Blocking SIGINT and SIGTERM and reading them from a signalfd.
#include "grade/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace grade {

namespace {

sigset_t stop_set() {
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, SIGINT);
  sigaddset(&s, SIGTERM);
  return s;
}

}  // namespace

stop_signals::stop_signals() {
  const sigset_t s = stop_set();
  if (sigprocmask(SIG_BLOCK, &s, nullptr) != 0) return;
  blocked_ = true;
  fd_ = signalfd(-1, &s, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    sigprocmask(SIG_UNBLOCK, &s, nullptr);
    blocked_ = false;
  }
}

stop_signals::~stop_signals() {
  if (fd_ >= 0) ::close(fd_);
  if (blocked_) {
    const sigset_t s = stop_set();
    sigprocmask(SIG_UNBLOCK, &s, nullptr);
  }
}

int stop_signals::received() {
  if (got_ != 0 || fd_ < 0) return got_;
  signalfd_siginfo info{};
  if (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) got_ = static_cast<int>(info.ssi_signo);
  return got_;
}

void stop_signals::release_in_child() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  const sigset_t s = stop_set();
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGPIPE, SIG_DFL);
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
  blocked_ = false;
}

}  // namespace grade
