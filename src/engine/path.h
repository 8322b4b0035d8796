// Which way a query is answered, chosen in one place. Every way gives the
// same bytes; they differ in what they build. A query that names a table,
// a selection or projection of one, and a union or difference of two are
// answered straight from the tables' row lines when nothing watches the
// run (no warnings, no explain output); everything else is evaluated
// whole, with selections over products joined by hashing where the
// condition equates columns of two operands.
#ifndef RELALG_ENGINE_PATH_H
#define RELALG_ENGINE_PATH_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"
#include "engine/schema.h"

enum class eval_path : uint8_t {
  table_lines,  // the query names a table: printed from its row lines as they are parsed
  stream,       // a selection or projection of a table, read from its row lines once
  set_lines,    // union or minus of two tables, from their row lines as 64-bit keys
  joined,       // evaluated whole, with hash joins
  whole,        // evaluated whole
};

struct path_choice {
  eval_path path = eval_path::whole;
  std::string why;  // one sentence, for --explain
};

// "streamed", "joined", ...: the path's name in explain output.
std::string_view path_name(eval_path path);

// Whether choosing a path needs the plan's schemas (streamed paths must
// know the query cannot fail; joins need the headers).
bool path_needs_schemas(const plan& p, bool watched);

// Chooses the path of p, read against `tables` (schemas: plan_schemas of
// p, or empty when path_needs_schemas said no). With `watched`, every node
// is evaluated (whole or joined), so that it can be reported.
path_choice choose_path(const plan& p, const table_map& tables, const std::vector<node_schema>& schemas,
                        bool watched);

#endif
