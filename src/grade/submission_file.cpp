// The guarded, bounded read of engine/io.h, and what a student is told
// about a file that cannot be graded.
#include "grade/submission_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/io.h"
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

}  // namespace

bool something_at(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

submission_text read_submission_file(const std::string& path) {
  submission_text s;
  const std::string shown = path == "-" ? std::string("standard input") : quoted_path(path);
  input_text bytes;
  file_facts facts;
  const read_policy guarded{true, kMaxQueryLine, kLookPast};
  if (!read_all(path, bytes, nullptr, guarded, &facts)) {
    const int err = errno;
    struct stat st {};
    if ((err == ELOOP || err == EMLINK) && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      s.problem = shown + " is a symbolic link; submit the file itself";
    } else if (err == ENODEV || err == EISDIR) {
      s.problem = shown + " is " + kind_of(facts.mode) + ", not a regular file; submit the file itself";
    } else {
      s.problem = "cannot read " + shown + ": " + std::strerror(err);
    }
    return s;
  }
  const std::string text(bytes.view());
  const std::size_t nl = text.find('\n');
  if (nl == std::string::npos && text.size() > kMaxQueryLine) {
    s.problem = shown + ": the first line is longer than 1 MB (1048576 bytes); a query must fit on one line of at most 1 MB";
    return s;
  }
  s.ok = true;
  s.query = text.substr(0, nl);
  if (nl != std::string::npos) {
    const bool more_text = text.find_first_not_of("\r\n", nl + 1) != std::string::npos;
    const bool more_bytes = path != "-" && facts.size > text.size();
    s.ignored_lines = more_text || more_bytes;
    const std::size_t end = text.find('\n', nl + 1);
    s.second_line = text.substr(nl + 1, end == std::string::npos ? std::string::npos : end - nl - 1);
    if (!s.second_line.empty() && s.second_line.back() == '\r') s.second_line.pop_back();
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
