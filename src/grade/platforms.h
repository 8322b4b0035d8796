// Grading's results in the forms two course platforms read: the
// results.json of a PrairieLearn external grader, and the object a Moodle
// CodeRunner question's combinator template grader prints. Both carry the
// same feedback as every other report.
#ifndef RELALG_GRADE_PLATFORMS_H
#define RELALG_GRADE_PLATFORMS_H

#include <cstddef>
#include <string>
#include <vector>

#include "grade/report.h"

namespace grade {

// PrairieLearn keeps results of at most this many bytes.
constexpr std::size_t kPrairieLearnLimit = 1000000;

// PrairieLearn's results.json: "gradable" true, "score" the points earned
// over the points there are (0 to 1), "message" the score in words,
// "output" a line per test, and "tests", one per item (named as
// Gradescope's tests are), each with "name", "description", "points",
// "max_points", "message" (the verdict's sentence) and "output" (the whole
// feedback). When the whole would exceed `limit` bytes, the longest
// outputs are cut, each with a note saying so.
std::string prairielearn_results(const std::vector<graded_item>& items, const report_layout& l,
                                 std::size_t limit = kPrairieLearnLimit);

// The results.json of a grading that could not run: "gradable" false,
// score 0, no tests, the message.
std::string prairielearn_failure(const std::string& message);

// CodeRunner's combinator grader object, on one line: "fraction" (the
// points earned over the points there are), "prologuehtml" (the feedback
// as HTML: prose in paragraphs, result rows, messages and the
// counterexample in <pre>), "testresults" (a header row, then a row per
// database whose verdict is known: iscorrect, the database's file name,
// what happened there) and "showdifferences" false.
std::string coderunner_result(const std::vector<graded_item>& items);

// The object of a grading that could not run: fraction 0, the message.
std::string coderunner_failure(const std::string& message);

// The text with &, <, >, " and ' written as HTML entities.
std::string html_escaped(const std::string& text);

}  // namespace grade

#endif
