// The warnings a student's feedback shows, before the difference: those
// --warn gives about the submitted query on the exercise's first visible
// database (found in the grading worker: outcome::warnings), then one for a
// query wrapped onto the file's second line, which grading never reads.
// Each is the text --warn prints, naming the submission's file. The
// reference's warnings are the teacher's: they go to standard error and
// never into a student's feedback.
#ifndef RELALG_GRADE_STUDENT_WARNINGS_H
#define RELALG_GRADE_STUDENT_WARNINGS_H

#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "grade/grader.h"
#include "grade/inputs.h"

namespace grade {

// The warnings about `query` (the line 1 of a file named `name`) as text,
// each ended by a line feed.
std::vector<std::string> render_warnings(const std::vector<diagnostic>& found, std::string_view name,
                                         std::string_view query);

// Every warning of the submission, in order.
std::vector<std::string> student_warnings(const outcome& out, const submission_input& sub);

// A message's first line, which stands alone.
std::string first_line(const std::string& message);

}  // namespace grade

#endif
