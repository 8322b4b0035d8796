// Where a wrong query goes wrong, told from its counterexample: the
// student's query evaluated on that small database node by node, as
// --trace shows it, and the lowest operator where a row of the reference's
// result is lost, or the operator that lets an extra row through. A result
// row is traced back to the counterexample's rows by its values: the
// database row that shares the most of them, followed up the query from
// the table it is read from for as long as some row of each operator's
// result still holds those values. Only the student's query is evaluated
// here; nothing of the reference's own operators is seen.
#ifndef RELALG_GRADE_WHERE_WRONG_H
#define RELALG_GRADE_WHERE_WRONG_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "engine/run_limits.h"
#include "grade/counterexample.h"

namespace grade {

struct where_wrong {
  // The query on the counterexample, every node with its rows (at most
  // trace_rows of each), as --trace=N writes it; empty when the query
  // fails there.
  std::string trace;
  // Where a row of the reference's result is lost, and where an extra row
  // passes: byte spans of the query line.
  std::optional<source_span> lost_at;
  std::optional<source_span> extra_at;
  // Each in words, with line:column, e.g. "the row (6, 'Ada', 1) of
  // students is lost at select(students, GT(year, 1)) (1:8)".
  std::string lost;
  std::string extra;
};

// `input` is the counterexample as a complete input file, the student's
// query on line 1; `missing` and `extra` are the printed cells of a row the
// reference's result holds and the student's lacks, and of one the other
// way round (either may be empty).
// With `extended`, the query may use the extended operations; `limits`
// bound its products as in any evaluation.
where_wrong locate(const std::string& input, const std::vector<std::string>& missing,
                   const std::vector<std::string>& extra, std::size_t trace_rows = 20, bool extended = false,
                   eval_limits limits = {});

// The same for a counterexample on which both queries have a result: the
// first row the reference's result holds more often than the student's,
// and the first row the other way round. Nothing when either query fails,
// or when the counterexample holds more than kMostTracedRows rows (a
// search cut short): a trace is for a small database.
constexpr std::size_t kMostTracedRows = 10000;
// Nor for a query of more operators than this: its trace would be longer
// than anyone reads.
constexpr std::size_t kMostTracedNodes = 400;
where_wrong locate(const counterexample& cx, const engine_options& eo, std::size_t trace_rows = 20);

}  // namespace grade

#endif
