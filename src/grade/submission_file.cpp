// open(O_NOFOLLOW | O_NONBLOCK), fstat, and a bounded read of the first
// line with a short look past it.
#include "grade/submission_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/show_text.h"

namespace grade {

namespace {

constexpr std::size_t kLookPast = 1 << 16;  // bytes read after the first line, to see if more follow

const char* kind_of(mode_t m) {
  if (S_ISDIR(m)) return "a folder";
  if (S_ISFIFO(m)) return "a FIFO";
  if (S_ISCHR(m)) return "a character device";
  if (S_ISBLK(m)) return "a block device";
  if (S_ISSOCK(m)) return "a socket";
  return "not a regular file";
}

// Reads until a line feed has been read and kLookPast bytes after it, the
// end of the file, or more than kMaxQueryLine bytes without a line feed.
bool read_bounded(int fd, std::string& text, int& err) {
  char buf[1 << 16];
  std::size_t line_end = std::string::npos;
  for (;;) {
    const std::size_t want = line_end == std::string::npos ? kMaxQueryLine + 1 - text.size()
                                                           : line_end + 1 + kLookPast - text.size();
    if (want == 0) return true;
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, want));
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    const std::size_t from = text.size();
    text.append(buf, static_cast<std::size_t>(n));
    if (line_end == std::string::npos) {
      const std::size_t nl = text.find('\n', from);
      if (nl != std::string::npos) line_end = nl;
    }
  }
}

}  // namespace

bool something_at(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

submission_text read_submission_file(const std::string& path) {
  submission_text s;
  const std::string shown = path == "-" ? std::string("standard input") : quoted_path(path);
  int fd = STDIN_FILENO;
  if (path != "-") {
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      const int err = errno;
      struct stat st {};
      if ((err == ELOOP || err == EMLINK) && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        s.problem = shown + " is a symbolic link; submit the file itself";
      } else {
        s.problem = "cannot read " + shown + ": " + std::strerror(err);
      }
      return s;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      s.problem = "cannot read " + shown + ": " + std::strerror(errno);
      ::close(fd);
      return s;
    }
    if (!S_ISREG(st.st_mode)) {
      s.problem = shown + " is " + kind_of(st.st_mode) + ", not a regular file; submit the file itself";
      ::close(fd);
      return s;
    }
    // A regular file never blocks; reads wait for the disk as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  std::string text;
  int err = 0;
  const bool read = read_bounded(fd, text, err);
  struct stat st {};
  const bool sized = fd != STDIN_FILENO && ::fstat(fd, &st) == 0;
  if (fd != STDIN_FILENO) ::close(fd);
  if (!read) {
    s.problem = "cannot read " + shown + ": " + std::strerror(err);
    return s;
  }
  const std::size_t nl = text.find('\n');
  if (nl == std::string::npos && text.size() > kMaxQueryLine) {
    s.problem = shown + ": the first line is longer than 1 MB (1048576 bytes); a query must fit on one line of at most 1 MB";
    return s;
  }
  s.ok = true;
  s.query = text.substr(0, nl);
  if (nl != std::string::npos) {
    const bool more_text = text.find_first_not_of("\r\n", nl + 1) != std::string::npos;
    const bool more_bytes = sized && static_cast<unsigned long long>(st.st_size) > text.size();
    s.ignored_lines = more_text || more_bytes;
  }
  if (s.query.rfind("\xEF\xBB\xBF", 0) == 0) {
    s.query.erase(0, 3);
    s.dropped_bom = true;
  }
  if (!s.query.empty() && s.query.back() == '\r') {
    s.query.pop_back();
    s.dropped_cr = true;
  }
  return s;
}

}  // namespace grade
