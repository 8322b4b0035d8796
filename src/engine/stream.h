// Queries answered straight from a table's row lines, without building the
// table: a selection of a table prints each row line that passes as it is
// read; a projection of a table (or of a selection of one) keeps only the
// distinct rows it cuts. Memory then grows with the result, not with the
// table; large tables are read in pieces on two threads.
#ifndef RELALG_ENGINE_STREAM_H
#define RELALG_ENGINE_STREAM_H

#include <string>
#include <vector>

#include "engine/plan.h"
#include "engine/printer.h"
#include "engine/schema.h"

// Whether the plan is one of those shapes over a table whose rows are still
// pending; and, given its schemas, whether its evaluation would not fail.
bool stream_shape(const plan& p);
bool streamable(const plan& p, const std::vector<node_schema>& schemas);

// Prints the result of a streamable plan, as print_relation would print
// the evaluated result.
void stream_query(const plan& p, const std::vector<node_schema>& schemas, std::string& buf,
                  const spill_fn& spill);

// Whether the plan is a union or difference of two tables whose rows are
// still pending, of the same width and column kinds.
bool set_shape(const plan& p);

// Prints the result of such a plan (its schemas whole), from keys that code
// each row in 64 bits; false, having written nothing, when the rows need
// more bits than that.
bool stream_sets(const plan& p, const std::vector<node_schema>& schemas, std::string& buf,
                 const spill_fn& spill);

#endif
