// Reading a student's submission without trusting the file: only a regular
// file is read (a symbolic link is refused, so that a link to the reference
// or to another file cannot be graded; a FIFO or a device is refused), its
// opening never blocks, and no more than its first line, up to 1 MB, is
// taken. A byte order mark before the query and a carriage return after it
// (files saved by some editors, or with Windows line ends) are dropped, and
// the submission says so.
#ifndef RELALG_GRADE_SUBMISSION_FILE_H
#define RELALG_GRADE_SUBMISSION_FILE_H

#include <cstddef>
#include <string>

namespace grade {

constexpr std::size_t kMaxQueryLine = std::size_t{1} << 20;

struct submission_text {
  bool ok = false;
  std::string problem;         // why it cannot be graded, without "relalg: "
  std::string query;           // the first line, without a mark or carriage return
  bool ignored_lines = false;  // lines after the first that are not empty
  std::string second_line;     // line 2 as read (a query wrapped onto it?), without a carriage return
  bool dropped_bom = false;
  bool dropped_cr = false;
};

// "-" reads standard input (which may be a pipe).
submission_text read_submission_file(const std::string& path);

// Whether the path names a symbolic link, a file or anything else: false
// only when nothing is there at all.
bool something_at(const std::string& path);

}  // namespace grade

#endif
