// Comparing a submission's result with the reference's on one database:
// whether they differ (byte for byte, or row lines only), and how: the
// header, the rows missing and extra, an order that differs, or a failure on
// one side. It also keeps the cells of a differing row or two, where the
// search for a counterexample starts.
#ifndef RELALG_GRADE_COMPARE_H
#define RELALG_GRADE_COMPARE_H

#include <cstddef>
#include <string>
#include <vector>

#include "grade/engine_adapter.h"
#include "grade/options.h"

namespace grade {

constexpr std::size_t kShownRows = 5;  // missing and extra rows listed at most

struct comparison {
  bool differs = false;
  // Set when exactly one side failed; the other fields are then empty.
  bool reference_failed = false;
  bool submission_failed = false;
  std::string failure;  // that side's message

  bool header_differs = false;     // never with rows_only
  std::string header_what;         // "the column names", "the table name and the type words"...
  std::string expected_header, got_header;

  // Rows counted as a multiset: a row the reference holds twice and the
  // submission once is one missing row.
  std::vector<std::string> missing, extra;  // the first kShownRows, in result order
  std::size_t missing_count = 0;
  std::size_t extra_count = 0;

  // The same rows in another order: the first position (from 1) that differs.
  bool order_differs = false;
  std::size_t order_row = 0;
  std::string order_expected, order_got;

  // The cells of a row that only one side holds (or of the rows at the
  // first position that differs), for the search of a counterexample.
  std::vector<std::vector<std::string>> witnesses;
};

// The reference's outcome as a student may see it: the printed result, or
// the first line of its failure, without the excerpt of the reference query.
std::string shown_to_student(const evaluation& ref);

// Whether the two outcomes count as equal: both failed, or both printed the
// same result under the rules.
bool same_result(const evaluation& ref, const evaluation& sub, match_rules rules);
inline bool same_result(const evaluation& ref, const evaluation& sub, bool rows_only) {
  return same_result(ref, sub, match_rules{rows_only, false});
}

// What differs. Under any_column_order, results that no order of the
// columns makes the same are compared as with rows_only.
comparison compare(const evaluation& ref, const evaluation& sub, match_rules rules);
inline comparison compare(const evaluation& ref, const evaluation& sub, bool rows_only) {
  return compare(ref, sub, match_rules{rows_only, false});
}

}  // namespace grade

#endif
