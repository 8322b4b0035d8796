// Worker processes: fork, limits, pipes, deadlines and the reasons a job
// ends. Linux only where it must be (/proc for sizes, PR_SET_PDEATHSIG so
// that workers die with the grader).
#include "grade/isolation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

// AddressSanitizer reserves terabytes of address space for its shadow
// memory, so RLIMIT_AS cannot bound a worker of such a build: there the
// grader's watch of each worker's resident memory is the limit, and the
// engine's own memory budget refuses large products before they are built.
#if defined(__SANITIZE_ADDRESS__)
#define RELALG_ISOLATION_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELALG_ISOLATION_ASAN 1
#endif
#endif

namespace grade {

namespace {

#ifdef RELALG_ISOLATION_ASAN
constexpr bool kAddressLimit = false;
#else
constexpr bool kAddressLimit = true;
#endif
constexpr int kMemoryStatus = 86;  // a worker whose allocation failed
constexpr int kFailedStatus = 87;  // a worker whose job threw
constexpr std::size_t kMaxMessage = std::size_t{1} << 30;
constexpr int kWatchMs = 50;  // how often resident memory is looked at

using steady = std::chrono::steady_clock;

// Whether an allocation failed in this worker. The new-handler that sets it
// has no context to carry it in; it lives in a worker process, which runs
// one job and exits.
bool allocation_failed = false;

void note_failed_allocation() {
  allocation_failed = true;
  std::set_new_handler(nullptr);
  throw std::bad_alloc();
}

// A process's size and resident memory in bytes, from /proc.
bool memory_of(const char* statm_path, std::size_t& size, std::size_t& resident) {
  std::FILE* f = std::fopen(statm_path, "r");
  if (f == nullptr) return false;
  unsigned long pages = 0;
  unsigned long rss = 0;
  const bool ok = std::fscanf(f, "%lu %lu", &pages, &rss) == 2;
  std::fclose(f);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  size = pages * page;
  resident = rss * page;
  return ok;
}

std::string seconds_text(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return buf;
}

bool write_all(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

[[noreturn]] void run_child(int out, std::size_t job, pid_t grader, const worker_limits& limits,
                            stop_signals& stop, const std::function<void(std::size_t, channel&)>& work) {
  stop.release_in_child();
  // Its own process group, so that a terminal's Ctrl+C reaches the grader
  // only, which then stops its workers; and death with the grader.
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != grader) _exit(kFailedStatus);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null >= 0) ::dup2(null, STDIN_FILENO);
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // CPU time counts every thread; the engine runs two.
  const auto cpu = static_cast<rlim_t>(std::ceil(limits.seconds * 2)) + 1;
  rlimit cpu_limit{cpu, cpu + 1};
  setrlimit(RLIMIT_CPU, &cpu_limit);
  std::size_t size = 0;
  std::size_t resident = 0;
  if (kAddressLimit && memory_of("/proc/self/statm", size, resident)) {
    const rlim_t bytes = size + (static_cast<rlim_t>(limits.megabytes) << 20);
    rlimit as{bytes, bytes};
    setrlimit(RLIMIT_AS, &as);
  }
  std::set_new_handler(note_failed_allocation);
  int status = 0;
  try {
    channel ch(out);
    work(job, ch);
  } catch (const std::bad_alloc&) {
    allocation_failed = true;
  } catch (...) {
    status = kFailedStatus;
  }
  if (allocation_failed) status = kMemoryStatus;
  _exit(status);
}

struct running {
  pid_t pid = -1;
  int fd = -1;
  std::size_t job = 0;
  steady::time_point deadline;
  std::size_t resident_at_start = 0;
  std::string pending;  // bytes of a message not yet complete
  job_end end;
  job_end::kind forced = job_end::finished;  // set when the grader killed it
  bool closed = false;
};

// Moves the complete messages of r.pending into r.end.messages; false when
// a message announces more bytes than any outcome has.
bool take_messages(running& r) {
  std::size_t at = 0;
  while (r.pending.size() - at >= 8) {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n |= static_cast<std::uint64_t>(static_cast<unsigned char>(r.pending[at + i])) << (8 * i);
    if (n > kMaxMessage) return false;
    if (r.pending.size() - at - 8 < n) break;
    r.end.messages.push_back(r.pending.substr(at + 8, static_cast<std::size_t>(n)));
    at += 8 + static_cast<std::size_t>(n);
  }
  r.pending.erase(0, at);
  return true;
}

void kill_worker(running& r, job_end::kind why) {
  if (r.forced == job_end::finished) r.forced = why;
  ::kill(r.pid, SIGKILL);
}

job_end finish(running& r) {
  int st = 0;
  while (::waitpid(r.pid, &st, 0) < 0 && errno == EINTR) {
  }
  ::close(r.fd);
  job_end e = std::move(r.end);
  if (r.forced != job_end::finished) {
    e.how = r.forced;
  } else if (WIFEXITED(st)) {
    e.code = WEXITSTATUS(st);
    e.how = e.code == 0 ? (r.pending.empty() ? job_end::finished : job_end::garbled)
            : e.code == kMemoryStatus ? job_end::memory_limit
                                      : job_end::exited;
  } else if (WIFSIGNALED(st)) {
    e.code = WTERMSIG(st);
    e.how = e.code == SIGXCPU ? job_end::time_limit : job_end::killed;
  } else {
    e.how = job_end::killed;
  }
  return e;
}

}  // namespace

std::string job_end::why(const worker_limits& l) const {
  switch (how) {
    case finished: return "finished";
    case time_limit: return "exceeded the time limit of " + seconds_text(l.seconds) + " s";
    case memory_limit: return "exceeded the memory limit of " + std::to_string(l.megabytes) + " MB";
    case killed: {
      const char* name = strsignal(code);
      return "ended with signal " + std::to_string(code) + (name != nullptr ? std::string(" (") + name + ")" : "");
    }
    case exited: return "ended with status " + std::to_string(code);
    case garbled: return "sent back bytes that are not an outcome";
    case not_started: return std::string("could not be started: ") + std::strerror(code);
  }
  return "ended";
}

bool channel::send(std::string_view message) {
  std::string frame(8, '\0');
  for (int i = 0; i < 8; ++i) frame[static_cast<std::size_t>(i)] = static_cast<char>((static_cast<std::uint64_t>(message.size()) >> (8 * i)) & 0xFF);
  frame.append(message);
  return write_all(fd_, frame.data(), frame.size());
}

bool run_workers(std::size_t n, std::size_t jobs, const worker_limits& limits, stop_signals& stop,
                 const std::function<void(std::size_t, channel&)>& work,
                 const std::function<void(std::size_t, job_end&&)>& done) {
  std::vector<running> run;
  const pid_t grader = ::getpid();
  const auto budget = std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(limits.seconds));
  const std::size_t memory = limits.megabytes << 20;
  const auto give_up = [&] {
    for (running& r : run) kill_worker(r, job_end::killed);
    for (running& r : run) finish(r);
    return false;
  };
  std::size_t next = 0;
  while (next < n || !run.empty()) {
    if (stop.received() != 0) return give_up();
    while (next < n && run.size() < std::max<std::size_t>(jobs, 1)) {
      int p[2];
      std::size_t size = 0;
      std::size_t resident = 0;
      memory_of("/proc/self/statm", size, resident);
      pid_t pid = -1;
      int err = 0;
      if (::pipe2(p, O_CLOEXEC) != 0) {
        err = errno;
      } else if ((pid = ::fork()) < 0) {
        err = errno;
        ::close(p[0]);
        ::close(p[1]);
      }
      if (err != 0) {
        if (!run.empty()) break;  // again when a worker has ended
        job_end e;
        e.how = job_end::not_started;
        e.code = err;
        done(next++, std::move(e));
        continue;
      }
      if (pid == 0) {
        ::close(p[0]);
        for (const running& r : run) ::close(r.fd);
        run_child(p[1], next, grader, limits, stop, work);
      }
      ::close(p[1]);
      ::fcntl(p[0], F_SETFL, ::fcntl(p[0], F_GETFL) | O_NONBLOCK);
      running& r = run.emplace_back();
      r.pid = pid;
      r.fd = p[0];
      r.job = next++;
      r.deadline = steady::now() + budget;
      r.resident_at_start = resident;
    }
    if (run.empty()) continue;

    std::vector<pollfd> fds;
    for (const running& r : run) fds.push_back({r.fd, POLLIN, 0});
    if (stop.fd() >= 0) fds.push_back({stop.fd(), POLLIN, 0});
    auto wait = std::chrono::milliseconds(kWatchMs);
    const steady::time_point now = steady::now();
    for (const running& r : run) {
      if (r.forced == job_end::finished) {
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(std::max(r.deadline - now, steady::duration::zero())));
      }
    }
    ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));

    const steady::time_point after = steady::now();
    for (std::size_t i = 0; i < run.size(); ++i) {
      running& r = run[i];
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        char buf[1 << 16];
        for (;;) {
          const ssize_t got = ::read(r.fd, buf, sizeof buf);
          if (got > 0) {
            r.pending.append(buf, static_cast<std::size_t>(got));
            if (!take_messages(r)) {
              kill_worker(r, job_end::garbled);
              r.pending.clear();
            }
            continue;
          }
          if (got == 0) r.closed = true;
          if (got < 0 && errno == EINTR) continue;
          if (got < 0 && errno != EAGAIN) r.closed = true;
          break;
        }
      }
      if (r.closed) continue;
      if (after >= r.deadline) kill_worker(r, job_end::time_limit);
      char path[64];
      std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(r.pid));
      std::size_t size = 0;
      std::size_t resident = 0;
      if (memory_of(path, size, resident) && resident > r.resident_at_start + memory) {
        kill_worker(r, job_end::memory_limit);
      }
    }
    for (std::size_t i = 0; i < run.size();) {
      if (!run[i].closed) {
        ++i;
        continue;
      }
      const std::size_t job = run[i].job;
      job_end e = finish(run[i]);
      run.erase(run.begin() + static_cast<long>(i));
      done(job, std::move(e));
      if (stop.received() != 0) return give_up();
    }
  }
  return true;
}

}  // namespace grade
