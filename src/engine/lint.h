// Warnings for what the language silently absorbs: in the query (operands
// merged, text dropped or appended after a closing parenthesis, quoted
// constants that lose their blanks, unknown keywords, column names a
// condition or a projection does not find, comparisons of an integer column
// with a string or the reverse, unions of unlike operands, renaming lists
// too long) and in the tables (carriage returns at line ends, a table
// defined twice, a header without "(", rows with too many or too few
// values, int cells that are not integers or do not fit in 32 bits).
#ifndef RELALG_ENGINE_LINT_H
#define RELALG_ENGINE_LINT_H

#include <string_view>
#include <vector>

#include "engine/diagnostic.h"
#include "engine/plan.h"
#include "engine/schema.h"

// Warnings about the query, from a plan read with notes and its schemas.
std::vector<diagnostic> lint_query(const plan& p, const std::vector<node_schema>& schemas);

// Warnings about the table lines of an input (line 2 onwards).
std::vector<diagnostic> lint_tables(std::string_view input);

// Whether `second` reads as the rest of a query wrapped onto it from
// `first`: the first leaves parentheses open, and the second closes more
// of them than it opens.
bool continues_query(std::string_view first, std::string_view second);

// Sorts warnings by line and column and drops repeats of one message at
// one spot.
void order_warnings(std::vector<diagnostic>& warnings);

#endif
