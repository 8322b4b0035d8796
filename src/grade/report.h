// The output formats of grading: the text report, JSON Lines (one object
// per graded submission) and Gradescope's results.json.
#ifndef RELALG_GRADE_REPORT_H
#define RELALG_GRADE_REPORT_H

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "grade/grader.h"
#include "grade/inputs.h"

namespace grade {

// One submission of one exercise, graded.
struct graded_item {
  const exercise* ex = nullptr;
  const submission_input* sub = nullptr;
  const outcome* out = nullptr;
  std::string message;  // the feedback
  std::string folder;   // the SUBMISSION argument, in folder mode
  double score = 0;
  double max_score = 1;
};

struct report_layout {
  bool folders = false;             // exercises of a reference folder
  std::size_t submission_args = 0;  // SUBMISSION arguments
};

// A verdict as reports write it: "correct (proved)", "correct (tested)",
// "wrong" or "error".
std::string verdict_text(const outcome& o);

// The counts of a run's verdicts, as the summaries write them:
// "3 correct (2 proved, 1 tested), 1 wrong, 0 in error".
std::string verdict_counts(const std::vector<graded_item>& items);

// "== PATH: VERDICT" and the feedback for each item, then a summary.
void write_text(std::ostream& out, const std::vector<graded_item>& items, const report_layout& l);
// The same in pieces, for a report written as verdicts are decided: one
// item, and the summary of the items written.
void write_text_item(std::ostream& out, const graded_item& it, const report_layout& l);
void write_text_summary(std::ostream& out, const std::vector<graded_item>& items, const report_layout& l);

void write_json_lines(std::ostream& out, const std::vector<graded_item>& items);
// The object of one item, with its line feed.
std::string json_line(const graded_item& it);

// `note`, when not empty, is the file's top-level output (a grading that
// was stopped says so there).
std::string gradescope_results(const std::vector<graded_item>& items, const report_layout& l,
                               const std::string& note = std::string());
// The results.json of a grading that could not run: no tests, the message.
std::string gradescope_failure(const std::string& message);

// A JSON string literal as the engine writes them (engine/json.h), with DEL
// raw as grading's reports have always had it.
std::string json_string(std::string_view s);

// Points as written: 1, 0.5, 2.25.
std::string format_points(double p);

}  // namespace grade

#endif
