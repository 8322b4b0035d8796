#include "main.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>

#include "algo.h"

#ifndef RELALG_VERSION
#define RELALG_VERSION "unknown"
#endif

// AddressSanitizer, as g++ and clang each announce it.
#if defined(__SANITIZE_ADDRESS__)
#define RELALG_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELALG_ASAN 1
#endif
#endif

// The program itself may end without tearing down its tables; the library
// (tests, fuzzing) and sanitizer builds, which check for leaks, may not.
#if !defined(RELALG_NO_ENTRY_POINT) && !defined(RELALG_ASAN)
#define RELALG_FAST_EXIT
#endif

namespace {

constexpr const char* kUsage = "usage: relalg [--max-rows N] INPUT OUTPUT";

constexpr const char* kHelp =
    "usage: relalg [--max-rows N] INPUT OUTPUT\n"
    "\n"
    "Evaluates the relational-algebra query on the first line of INPUT over\n"
    "the tables that follow it, and writes the echo of INPUT and the result\n"
    "table to OUTPUT. Either path may be '-' for standard input or output.\n"
    "\n"
    "options:\n"
    "  --max-rows N, --max-rows=N\n"
    "                refuse a product whose result would exceed N rows\n"
    "                (default: as many as fit in half of the machine's memory)\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "  --            end of options (a path may then begin with '-')\n"
    "\n"
    "exit status: 0 the result was written, 1 the run failed (message on\n"
    "standard error), 2 wrong usage.\n";

// ---- Files ---------------------------------------------------------------------

std::string describe(const std::string& path) { return path == "-" ? "standard input" : "'" + path + "'"; }

// A whole input's bytes, in storage that is not zeroed before the reads
// fill it.
class input_text {
 public:
  std::string_view view() const { return {data_.get(), size_}; }

  // Makes room for `more` bytes after the ones read so far.
  void reserve_more(std::size_t more) {
    if (cap_ - size_ >= more) return;
    const std::size_t cap = std::max(size_ + more, cap_ * 2);
    auto bigger = std::make_unique_for_overwrite<char[]>(cap);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    cap_ = cap;
  }
  char* tail() { return data_.get() + size_; }
  std::size_t room() const { return cap_ - size_; }
  void added(std::size_t n) { size_ += n; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
};

// Reads a whole file (or standard input for "-"). Returns false with errno
// set when it cannot be opened or read. When `keep` is given and the input
// is a regular file, its descriptor is left open there (else -1).
bool read_all(const std::string& path, input_text& out, int* keep = nullptr) {
  if (keep != nullptr) *keep = -1;
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      if (fd != STDIN_FILENO) ::close(fd);
      errno = EISDIR;
      return false;
    }
    // One byte more than the file, so the read that meets its end needs no
    // further growth.
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
      out.reserve_more(static_cast<std::size_t>(st.st_size) + 1);
    }
  }
  for (;;) {
    if (out.room() == 0) out.reserve_more(1 << 16);
    const ssize_t n = ::read(fd, out.tail(), out.room());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      if (fd != STDIN_FILENO) ::close(fd);
      errno = err;
      return false;
    }
    out.added(static_cast<std::size_t>(n));
  }
  if (keep != nullptr && fd != STDIN_FILENO && S_ISREG(st.st_mode)) {
    *keep = fd;
  } else if (fd != STDIN_FILENO) {
    ::close(fd);
  }
  return true;
}

// Unbuffered writes to a file descriptor; callers hand it large chunks.
class fd_writer {
 public:
  explicit fd_writer(int fd) : fd_(fd) {}
  bool ok() const { return err_ == 0; }
  int error() const { return err_; }
  void write(std::string_view s) {
    while (!s.empty() && err_ == 0) {
      const ssize_t n = ::write(fd_, s.data(), s.size());
      if (n < 0) {
        if (errno != EINTR) err_ = errno;
        continue;
      }
      s.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  // Copies `size` bytes from the start of file `from` in the kernel, without
  // passing them through this process. Returns false, having written
  // nothing, when the kernel cannot copy between these two files.
  bool copy_from(int from, std::size_t size) {
    loff_t in_off = 0;
    std::size_t done = 0;
    while (done < size && err_ == 0) {
      const ssize_t n = ::copy_file_range(from, &in_off, fd_, nullptr, size - done, 0);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (done == 0) {
        return false;  // not supported here, or nothing to copy: write instead
      } else {
        err_ = n < 0 ? errno : EIO;
      }
    }
    return true;
  }
  bool close() {
    if (fd_ > STDERR_FILENO && ::close(fd_) != 0 && err_ == 0) err_ = errno;
    fd_ = -1;
    return ok();
  }

 private:
  int fd_;
  int err_ = 0;
};

// ---- Evaluation on a stack sized for the query ---------------------------------------

// Stack bytes allowed per level of parenthesis nesting. Evaluation, the
// predicate parser and its evaluator recurse once per level.
#ifdef RELALG_ASAN
constexpr std::size_t kStackPerLevel = 16 << 10;
#else
constexpr std::size_t kStackPerLevel = 2 << 10;
#endif
constexpr std::size_t kStackBase = 16 << 20;
// Nesting the default 8 MB stack holds with room to spare.
constexpr std::size_t kShallow = 200;

std::size_t nesting_depth(std::string_view text) {
  long depth = 0;
  long most = 0;
  for (const char c : text) {
    if (c == '(' && ++depth > most) most = depth;
    if (c == ')') --depth;
  }
  return static_cast<std::size_t>(most);
}

struct eval_job {
  algo* interp;
  const std::string* query;
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

relation evaluate_query(algo& interp, const std::string& query) {
  const std::size_t depth = nesting_depth(query);
  eval_job job{&interp, &query, {}, nullptr};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStackBase + depth * kStackPerLevel);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, run_job, &job);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    // A shallow query fits the ordinary stack of this thread.
    if (depth <= kShallow) {
      run_job(&job);
      if (job.error) std::rethrow_exception(job.error);
      return std::move(job.result);
    }
    throw std::runtime_error("the query is nested " + std::to_string(depth) +
                             " levels deep, and a stack for that depth cannot be had");
  }
  pthread_join(thread, nullptr);
  if (job.error) std::rethrow_exception(job.error);
  return std::move(job.result);
}

// Prints a table whose rows are still unparsed lines, parsing each into
// cells only to print it, so that the rows never all exist at once. Blocks
// of lines are handled two at a time, one per thread.
void stream_table(const table& t, std::string_view lines, std::string& buf,
                  const std::function<void(std::string&)>& spill) {
  print_header(t, buf);
  const std::vector<bool> is_int = int_columns(t);
  const auto format = [&](std::string_view text, std::string& out) {
    print_lines(text, is_int, out);
  };
  // Pieces of about a megabyte, two at a time, one per thread.
  constexpr std::size_t kPiece = 1 << 20;
  std::string other;
  for (std::size_t from = 0; from < lines.size();) {
    const std::size_t m1 = piece_end(lines, from, kPiece);
    const std::size_t m2 = m1 < lines.size() ? piece_end(lines, m1, kPiece) : m1;
    if (m1 < m2) {
      run_both([&] { format(lines.substr(from, m1 - from), buf); },
               [&] { format(lines.substr(m1, m2 - m1), other); });
    } else {
      format(lines.substr(from, m1 - from), buf);
    }
    spill(buf);
    spill(other);
    from = m2;
  }
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

void set_default_limits() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && page > 0) {
    set_memory_budget(static_cast<std::size_t>(pages) * static_cast<std::size_t>(page) / 2);
  }
}

}  // namespace

// ---- Loading ------------------------------------------------------------------------

std::string_view echo_suffix(std::string_view input) {
  if (input.empty()) return "\n";
  return input.back() == '\n' ? "\n" : "\n\n";
}

namespace {

// Where a block of row lines that starts at pos (with a line that is not
// empty) ends: at the "\n" that ends its last line, which an empty line or
// the end of the input follows; or at the end of the input when its last
// line has no "\n".
std::size_t block_end(std::string_view input, std::size_t pos) {
  const char* s = input.data();
  const std::size_t n = input.size();
  for (std::size_t i = pos; i < n; ++i) {
    const void* nl = std::memchr(s + i, '\n', n - i);
    if (nl == nullptr) return n;
    i = static_cast<std::size_t>(static_cast<const char*>(nl) - s);
    if (i + 1 == n || s[i + 1] == '\n') return i;
  }
  return n;
}

}  // namespace

std::string load_input(std::string_view input, database& db, bool defer_rows) {
  const std::size_t n = input.size();
  std::size_t end = input.find('\n');
  if (end == std::string_view::npos) end = n;
  std::string query(input.substr(0, end));
  std::size_t pos = end + 1;
  // The table whose rows are being read; null between blocks.
  table* current = nullptr;
  std::string_view* deferred = nullptr;
  while (pos < n) {
    if (current != nullptr && defer_rows) {
      // The rows run up to the next empty line: found in one scan, and kept
      // as one run of lines that is cut up when it is parsed.
      if (input[pos] == '\n') {
        ++pos;  // an empty line at once: no rows
      } else {
        const std::size_t stop = block_end(input, pos);
        *deferred = input.substr(pos, stop - pos);
        pos = stop + 2;  // past the end of the last row line and the empty line
      }
      current = nullptr;
      continue;
    }
    end = input.find('\n', pos);
    if (end == std::string_view::npos) end = n;
    const std::string_view line = input.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) {
      current = nullptr;
    } else if (current == nullptr) {
      const std::string name = db.addtable(std::string(line));
      if (!name.empty()) current = db.find(name);
      if (defer_rows) {
        // A header replaces its table whole, rows included.
        deferred = &db.pending[name];
        *deferred = std::string_view();
      }
    } else {
      current->append_row(line);
    }
  }
  return query;
}

run_result run_text(std::string_view input) {
  run_result r;
  r.output.assign(input);
  r.output += echo_suffix(input);
  try {
    database db;
    const std::string query = load_input(input, db, true);
    db.materialize();
    algo interp(std::move(db));
    const relation result = evaluate_query(interp, query);
    std::string buf;
    print_table(result, buf, [&r](std::string& b) {
      r.output += b;
      b.clear();
    });
    r.output += buf;
  } catch (...) {
    r.status = exit_failed;
    r.error = failure_message(std::current_exception());
  }
  return r;
}

// ---- The command line ------------------------------------------------------------------

int relalg_main(int argc, char** argv) {
  std::vector<std::string> operands;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options_done || a == "-" || a.empty() || a[0] != '-') {
      operands.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      std::cout << kHelp;
      return std::cout.flush() ? exit_ok : exit_failed;
    } else if (a == "--version") {
      std::cout << "relalg " << RELALG_VERSION << "\n";
      return std::cout.flush() ? exit_ok : exit_failed;
    } else if (a == "--max-rows" || a.rfind("--max-rows=", 0) == 0) {
      std::string v;
      if (a == "--max-rows") {
        if (i + 1 >= argc) {
          std::cerr << "relalg: --max-rows needs a number\n" << kUsage << "\n";
          return exit_usage;
        }
        v = argv[++i];
      } else {
        v = a.substr(11);
      }
      std::size_t n = 0;
      const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
      if (res.ec != std::errc() || res.ptr != v.data() + v.size() || v.empty()) {
        std::cerr << "relalg: --max-rows needs a whole number, not '" << v << "'\n"
                  << kUsage << "\n";
        return exit_usage;
      }
      set_row_limit(n);
    } else {
      std::cerr << "relalg: unknown option '" << a << "'\n" << kUsage << "\n";
      return exit_usage;
    }
  }
  if (operands.size() != 2) {
    std::cerr << "relalg: expected an input and an output path, got " << operands.size()
              << "\n" << kUsage << "\n";
    return exit_usage;
  }
  set_default_limits();
  const std::string& in_path = operands[0];
  const std::string& out_path = operands[1];

  input_text text;
  int input_fd = -1;
  const bool read_ok = read_all(in_path, text, &input_fd);
  const std::string_view input = text.view();
  const int read_err = errno;

  const int out_fd = out_path == "-" ? STDOUT_FILENO
                                     : ::open(out_path.c_str(),
                                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (out_fd < 0) {
    std::cerr << "relalg: cannot open '" << out_path << "' for writing: " << std::strerror(errno)
              << "\n";
    return exit_failed;
  }
  fd_writer out(out_fd);
  const auto write_failed = [&]() {
    std::cerr << "relalg: cannot write " << (out_path == "-" ? "standard output" : "'" + out_path + "'")
              << ": " << std::strerror(out.error()) << "\n";
    out.close();
    return exit_failed;
  };

  if (!read_ok) {
    // An unreadable input reads as an empty one: the output holds the
    // echo of the empty query.
    out.write(echo_suffix(""));
    out.close();
    std::cerr << "relalg: cannot read " << describe(in_path) << ": " << std::strerror(read_err)
              << "\n";
    return exit_failed;
  }

  try {
    database db;
    const std::string query = load_input(input, db, true);
    // The whole echo is in the file before evaluation begins. It is the
    // input's own bytes, which the kernel can copy file to file.
    if (input_fd < 0 || !out.copy_from(input_fd, input.size())) out.write(input);
    if (input_fd >= 0) ::close(input_fd);
    out.write(echo_suffix(input));
    if (!out.ok()) return write_failed();

    std::string buf;
    buf.reserve(1 << 20);
    const auto spill = [&out](std::string& b) {
      out.write(b);
      b.clear();
    };
    if (const table* named = db.find(query)) {
      // The query names a table: print it straight from its row lines.
      stream_table(*named, db.pending[query], buf, spill);
    } else {
      db.materialize();
      algo interp(std::move(db));
      const relation result = evaluate_query(interp, query);
      print_table(result, buf, spill);
    }
    out.write(buf);
    if (!out.ok() || !out.close()) return write_failed();
#ifdef RELALG_FAST_EXIT
    // Everything is written; the system reclaims the memory faster than
    // releasing the tables one row at a time would.
    std::_Exit(exit_ok);
#endif
  } catch (...) {
    if (!out.ok()) return write_failed();
    out.close();
    std::cerr << "relalg: " << failure_message(std::current_exception()) << "\n";
    return exit_failed;
  }
  if (!out.ok() || !out.close()) return write_failed();
  return exit_ok;
}

#ifndef RELALG_NO_ENTRY_POINT
int main(int argc, char** argv) { return relalg_main(argc, argv); }
#endif
