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
// has no context to carry it in; it lives in a worker process, which ends
// after the job whose allocation failed.
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

// Bytes of a job's end: a frame whose length says "no message".
constexpr std::uint64_t kJobDone = ~std::uint64_t{0};

bool read_all_of(int fd, char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t got = ::read(fd, p, n);
    if (got == 0) return false;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

// A worker: set up once, then jobs one after another, each named by the
// grader on `in` and ended by a done frame on `out`, until the grader
// closes `in`. A job that runs out of memory or throws ends the worker.
[[noreturn]] void run_worker(int in, int out, pid_t grader, const worker_limits& limits, stop_signals& stop,
                             const std::function<void(std::size_t, channel&)>& work) {
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
  std::size_t size = 0;
  std::size_t resident = 0;
  if (kAddressLimit && memory_of("/proc/self/statm", size, resident)) {
    const rlim_t bytes = size + (static_cast<rlim_t>(limits.megabytes) << 20);
    rlimit as{bytes, bytes};
    setrlimit(RLIMIT_AS, &as);
  }
  std::set_new_handler(note_failed_allocation);
  channel ch(out);
  for (;;) {
    char index[8];
    if (!read_all_of(in, index, sizeof index)) _exit(0);
    std::uint64_t job = 0;
    for (int i = 0; i < 8; ++i) job |= static_cast<std::uint64_t>(static_cast<unsigned char>(index[i])) << (8 * i);
    // CPU time counts every thread (the engine runs two): a backstop for
    // the grader's deadline, from what this worker has used so far.
    rusage used {};
    getrusage(RUSAGE_SELF, &used);
    const auto spent = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec);
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = std::min<rlim_t>(cpu.rlim_max, spent + static_cast<rlim_t>(std::ceil(limits.seconds * 2)) + 2);
    setrlimit(RLIMIT_CPU, &cpu);
    int status = 0;
    try {
      work(static_cast<std::size_t>(job), ch);
    } catch (const std::bad_alloc&) {
      allocation_failed = true;
    } catch (...) {
      status = kFailedStatus;
    }
    if (allocation_failed) _exit(kMemoryStatus);
    if (status != 0) _exit(status);
    char done[8];
    for (int i = 0; i < 8; ++i) done[i] = static_cast<char>((kJobDone >> (8 * i)) & 0xFF);
    if (!write_all(out, done, sizeof done)) _exit(kFailedStatus);
  }
}

struct running {
  pid_t pid = -1;
  int fd = -1;       // its results
  int to = -1;       // its jobs
  bool busy = false;
  std::size_t job = 0;
  std::size_t size_at_start = 0;  // its address space when it started
  steady::time_point deadline;
  std::size_t resident_at_start = 0;
  std::string pending;  // bytes of a message not yet complete
  job_end end;
  job_end::kind forced = job_end::finished;  // set when the grader killed it
  bool closed = false;
  bool job_done = false;  // the busy job's done frame has come
};

// Moves the complete messages of r.pending into r.end.messages, and notes
// a done frame; false when a message announces more bytes than any outcome
// has.
bool take_messages(running& r) {
  std::size_t at = 0;
  while (r.pending.size() - at >= 8) {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n |= static_cast<std::uint64_t>(static_cast<unsigned char>(r.pending[at + i])) << (8 * i);
    if (n == kJobDone) {
      r.job_done = true;
      at += 8;
      continue;
    }
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

// The end of a worker that has closed its pipe: how its job, if it had one
// it did not finish, ended.
job_end finish(running& r) {
  int st = 0;
  while (::waitpid(r.pid, &st, 0) < 0 && errno == EINTR) {
  }
  ::close(r.fd);
  if (r.to >= 0) ::close(r.to);
  job_end e = std::move(r.end);
  if (r.forced != job_end::finished) {
    e.how = r.forced;
  } else if (WIFEXITED(st)) {
    e.code = WEXITSTATUS(st);
    e.how = e.code == 0 ? (r.pending.empty() && r.job_done ? job_end::finished : job_end::garbled)
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
  // Workers are started as jobs need them and kept for the jobs after; one
  // that ends (a limit, a crash) is replaced by the next job's. One that has
  // grown past half its limit is let go and replaced too, so that memory a
  // job leaves behind never counts against the next.
  std::vector<running> run;
  const pid_t grader = ::getpid();
  const auto budget = std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(limits.seconds));
  const std::size_t memory = limits.megabytes << 20;
  const std::size_t workers = std::max<std::size_t>(jobs, 1);
  const auto give_up = [&] {
    for (running& r : run) kill_worker(r, job_end::killed);
    for (running& r : run) finish(r);
    return false;
  };
  const auto spawn = [&]() -> int {
    int results[2];
    int orders[2];
    if (::pipe2(results, O_CLOEXEC) != 0) return errno;
    if (::pipe2(orders, O_CLOEXEC) != 0) {
      const int err = errno;
      ::close(results[0]);
      ::close(results[1]);
      return err;
    }
    std::size_t size = 0;
    std::size_t resident = 0;
    memory_of("/proc/self/statm", size, resident);
    const pid_t pid = ::fork();
    if (pid < 0) {
      const int err = errno;
      for (const int fd : {results[0], results[1], orders[0], orders[1]}) ::close(fd);
      return err;
    }
    if (pid == 0) {
      ::close(results[0]);
      ::close(orders[1]);
      for (const running& r : run) {
        ::close(r.fd);
        ::close(r.to);
      }
      run_worker(orders[0], results[1], grader, limits, stop, work);
    }
    ::close(results[1]);
    ::close(orders[0]);
    ::fcntl(results[0], F_SETFL, ::fcntl(results[0], F_GETFL) | O_NONBLOCK);
    running& r = run.emplace_back();
    r.pid = pid;
    r.fd = results[0];
    r.to = orders[1];
    r.size_at_start = size;
    return 0;
  };
  // The busy job of r is finished: its messages go to done().
  const auto end_job = [&](running& r) {
    const std::size_t job = r.job;
    job_end e = std::move(r.end);
    e.how = job_end::finished;
    r.busy = false;
    r.job_done = false;
    r.end = job_end();
    done(job, std::move(e));
  };
  std::size_t next = 0;
  while (next < n || std::any_of(run.begin(), run.end(), [](const running& r) { return r.busy; })) {
    if (stop.received() != 0) return give_up();
    // Hand the next jobs to idle workers, starting workers as needed.
    while (next < n) {
      auto idle = std::find_if(run.begin(), run.end(), [](const running& r) { return !r.busy && !r.closed; });
      if (idle == run.end()) {
        if (run.size() >= workers) break;
        if (const int err = spawn(); err != 0) {
          if (!run.empty()) break;  // again when a worker is free
          job_end e;
          e.how = job_end::not_started;
          e.code = err;
          done(next++, std::move(e));
          continue;
        }
        idle = run.end() - 1;
      }
      running& r = *idle;
      char index[8];
      for (int i = 0; i < 8; ++i) index[i] = static_cast<char>((static_cast<std::uint64_t>(next) >> (8 * i)) & 0xFF);
      char path[64];
      std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(r.pid));
      std::size_t size = 0;
      memory_of(path, size, r.resident_at_start);
      r.busy = true;
      r.job = next++;
      r.deadline = steady::now() + budget;
      if (!write_all(r.to, index, sizeof index)) kill_worker(r, job_end::killed);
    }
    if (run.empty()) continue;

    std::vector<pollfd> fds;
    for (const running& r : run) fds.push_back({r.fd, POLLIN, 0});
    if (stop.fd() >= 0) fds.push_back({stop.fd(), POLLIN, 0});
    auto wait = std::chrono::milliseconds(kWatchMs);
    const steady::time_point now = steady::now();
    for (const running& r : run) {
      if (r.busy && r.forced == job_end::finished) {
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
      if (r.busy && r.job_done && r.pending.empty() && r.forced == job_end::finished) {
        end_job(r);
        // A worker that has grown past half its limit is let go.
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(r.pid));
        std::size_t size = 0;
        std::size_t resident = 0;
        if (memory_of(path, size, resident) && size > r.size_at_start + memory / 2) {
          ::close(r.to);
          r.to = -1;
        }
        continue;
      }
      if (r.closed || !r.busy) continue;
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
      running& r = run[i];
      if (!r.closed && r.to >= 0) {
        ++i;
        continue;
      }
      if (!r.closed) {
        // Let go while idle: it ends when it reads the end of its orders.
        r.closed = true;
      }
      const bool had_job = r.busy;
      job_end e = finish(r);
      if (had_job) {
        const std::size_t job = r.job;
        run.erase(run.begin() + static_cast<long>(i));
        done(job, std::move(e));
        if (stop.received() != 0) return give_up();
      } else {
        run.erase(run.begin() + static_cast<long>(i));
      }
    }
  }
  // No more jobs: the workers end when their orders end.
  for (running& r : run) {
    ::close(r.to);
    r.to = -1;
  }
  for (running& r : run) {
    int st = 0;
    while (::waitpid(r.pid, &st, 0) < 0 && errno == EINTR) {
    }
    ::close(r.fd);
  }
  return true;
}

}  // namespace grade
