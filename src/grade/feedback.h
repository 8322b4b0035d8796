// The feedback a student reads about one graded submission: the verdict and
// where it was reached, what differs, and the counterexample with both
// results on it. The same text is the message of every output format.
#ifndef RELALG_GRADE_FEEDBACK_H
#define RELALG_GRADE_FEEDBACK_H

#include <string>

#include "grade/grader.h"
#include "grade/inputs.h"
#include "grade/options.h"

namespace grade {

// Marker lines around the counterexample and the results on it.
constexpr const char* kInputMarker = "--- counterexample: save as a file and run it with: relalg FILE - ---";
// The same when the queries use the extended operations.
constexpr const char* kExtendedInputMarker =
    "--- counterexample: save as a file and run it with: relalg --extended FILE - ---";
constexpr const char* kReferenceMarker = "--- the reference's result on it ---";
constexpr const char* kSubmissionMarker = "--- your result on it ---";
constexpr const char* kTraceMarker = "--- your query on it, operator by operator ---";
constexpr const char* kEndMarker = "--- end ---";

// Ends without a line feed.
std::string feedback(const outcome& out, const submission_input& sub, const grade_options& o);

}  // namespace grade

#endif
