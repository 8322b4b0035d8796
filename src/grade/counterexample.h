// The counterexample of a wrong submission: a part of a database on which
// the submission's result and the reference's still differ, and from which
// no single row can be taken away without them agreeing. The search starts
// from the rows that share values with a differing result row, falls back
// to larger sets when those do not show the difference, and shrinks the
// first set that does by delta debugging over rows.
#ifndef RELALG_GRADE_COUNTEREXAMPLE_H
#define RELALG_GRADE_COUNTEREXAMPLE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "grade/ddmin.h"
#include "grade/engine_adapter.h"

namespace grade {

struct counterexample_request {
  const source* db = nullptr;
  row_set start;  // rows of db on which the two queries differ
  std::string reference_query;
  std::string submission_query;
  std::string reference_name = "<reference>";  // their files, for messages
  std::string submission_name = "<submission>";
  // Cells of result rows that only one side holds (see comparison).
  std::vector<std::vector<std::string>> witnesses;
  // Cells of db's rows by global number (engine_db::row_cells); may be
  // empty, and the search then starts from larger sets.
  const std::vector<std::vector<std::string>>* cells = nullptr;
  bool rows_only = false;
  bool any_column_order = false;
  // The part of a set of rows that is a database to try (the rows whose
  // partners are there, when references bind rows); every row when empty.
  std::function<row_set(const row_set&)> keep;
  engine_options options;
  std::size_t budget = 20000;  // evaluations of delta debugging at most
};

struct counterexample {
  choice rows;  // rows of db and tables left out
  std::size_t row_count = 0;
  std::string input;  // the submission's query, then the tables: runnable as is
  evaluation reference, submission;  // the two outcomes on it
  bool minimal = false;  // checked 1-minimal
  // Taking one of its rows away takes others that refer to it (see keep).
  bool takes_partners = false;
  std::size_t tests = 0;  // evaluations of both queries it took
};

counterexample find_counterexample(const counterexample_request& req);

// An input file holding `query` on its first line, then the kept tables of
// db in their order, each header line followed by its chosen row lines
// verbatim, blocks separated by one empty line.
std::string render_input(const std::string& query, const source& db, const choice& c);

}  // namespace grade

#endif
