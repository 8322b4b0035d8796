// Reading a query line into a plan, and a condition text into a plan's
// condition. Reading never fails: a text that has no result (no table by
// that name, an unknown operation, a condition without "(") becomes a
// failing node whose message evaluation raises when it reaches it, so the
// failure reported is the one evaluation meets first.
#ifndef RELALG_ENGINE_PARSER_H
#define RELALG_ENGINE_PARSER_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"

struct parse_options {
  bool notes = false;  // record what the reading rules absorbed (plan::notes)
  // Also read the extended operations join, njoin, intersect and divide
  // (vocabulary.h), each written out in the six (extended.h). A name that
  // is a loaded table is that table all the same.
  bool extended = false;
};

// Reads the query line against the tables it may name. The plan keeps the
// line; its table nodes point into `tables`, which must outlive it.
plan parse_query(std::string line, const table_map& tables, parse_options options = {});

// Reads a condition text on its own, as a selection hands it over: its
// keyword is every byte before its first "(", blanks included. The result
// is a plan holding only the condition, conditions[0].
plan parse_condition(std::string_view text, parse_options options = {});

// A call as the interpreter cuts it: the operation name, every byte
// before the first "(" as written; and the argument text, the inside of
// the outermost parentheses with blanks removed (and the inside of later
// groups appended). has_open is false for a text without "(".
struct call_parts {
  bool has_open = false;
  std::string name;
  std::string args;
};
call_parts split_call(std::string_view text);

// The argument splitters, on an operand text handed in on its own (blanks
// are dropped): the two operands of union, minus, product and select (the
// second absorbs any further ones); the expression and column names of
// project; the expression and renaming list of rename.
std::pair<std::string, std::string> split_operands(std::string_view args);
std::pair<std::string, std::vector<std::string>> split_projection(std::string_view args);
std::pair<std::string, std::vector<std::string>> split_renaming(std::string_view args);

// The message for a text without "(" where a predicate must stand, in a
// condition of the operation `op` (select, or join).
std::string not_a_predicate(std::string_view text, std::string_view op = "select");

#endif
