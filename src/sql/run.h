// --sql as a run of the program: the input's tables loaded and its query
// read into a plan, as for evaluation (but without the join rewrite that
// evaluation makes), then the script written instead of the result.
#ifndef RELALG_SQL_RUN_H
#define RELALG_SQL_RUN_H

#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/pipeline.h"
#include "sql/options.h"

namespace relalg_sql {

// Writes the script (or, with query_only, the statement) for the input to
// out. Returns exit_ok, or exit_failed with the message in `messages`:
// placed in the query line when it is about a part of the query, which is
// then the part that has no result or no SQL form. Nothing is written to
// out then. With `extended`, the query may use join, njoin, intersect and
// divide, written through their definitions.
int run_sql(std::string_view input, const sql_options& o, output_sink& out, std::vector<diagnostic>& messages,
            bool extended = false);

}  // namespace relalg_sql

#endif
