// Writing a result file so that it is never seen half written: the text
// goes to a new file in the same folder, which is flushed to the disk and
// then renamed over the path in one step. A failure leaves the path as it
// was (or absent) and removes the new file. Every result file of grading
// (Gradescope's, and any other format) is written through here.
#ifndef RELALG_GRADE_RESULT_FILE_H
#define RELALG_GRADE_RESULT_FILE_H

#include <string>
#include <string_view>

namespace grade {

// False with `message` set ("relalg: cannot write 'PATH': REASON") when the
// file cannot be written. A new file gets mode 0666 less the umask; a file
// that is replaced keeps its mode.
bool write_result_file(const std::string& path, std::string_view text, std::string& message);

}  // namespace grade

#endif
