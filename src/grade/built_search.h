// Comparing one submitted query on built databases: first those built from
// the reference and the query together (boundary rows at both queries'
// constants, canonical databases of both, structural cases), then the
// random ones the exercise prepared from the reference alone, at most
// --build of them in all (fewer for very long queries: build_budget),
// stopping at the first where the two differ.
#ifndef RELALG_GRADE_BUILT_SEARCH_H
#define RELALG_GRADE_BUILT_SEARCH_H

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "grade/built.h"
#include "grade/engine_adapter.h"
#include "grade/grader.h"
#include "grade/options.h"

namespace grade {

// A built database where the query's outcome differs from the reference's.
struct built_difference {
  std::shared_ptr<const source> src;
  built_database db;
  evaluation reference, submission;
};

// Databases on which the reference has no result give no verdict and are
// not counted. `compared` counts the others. With `failures`, a query that
// fails where the reference does not counts as differing; without, only a
// result that differs does (the search for a difference to show).
std::optional<built_difference> search_built(const prepared_exercise& pe, const std::string& query,
                                             const std::string& name, const grade_options& o,
                                             const engine_options& eo, std::size_t& compared, bool failures);

}  // namespace grade

#endif
