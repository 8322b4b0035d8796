// The parsed query: a tree of operator nodes, each with its operands and the
// byte range of the query line it was read from, and the parsed conditions
// of its selections. The parser (parser.h) builds it once from the query
// line; evaluation, messages, explain output, SQL and grading all read it.
//
// Nodes live in flat arrays and refer to each other by index, so a query
// nested a million levels deep costs no recursion to destroy and little
// memory per level.
#ifndef RELALG_ENGINE_PLAN_H
#define RELALG_ENGINE_PLAN_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "t_object.h"

// A byte range [begin, end) of the query line as written, blanks included.
// A piece of text that the reading rules assembled from several places
// (operands merged across a dropped comma, groups appended after a closing
// parenthesis) spans from its first byte to its last.
struct source_span {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// The six operations, a table reference, and a text that has no result.
enum class plan_op : uint8_t { table, union_, minus, product, project, rename, select, fail };

// The operation an exact name denotes, or plan_op::fail for any other text.
plan_op operation_named(std::string_view name);
// The name of an operation (empty for table and fail).
std::string_view operation_name(plan_op op);

// One operator node. `arg` indexes the side table its operation uses.
//   table:   `arg` indexes plan::tables, the catalog entry it names.
//   union_, minus, product: `left` and `right` are the operands.
//   project: `left` is the operand; `arg` indexes plan::name_lists: the
//            listed column names.
//   rename:  `left` is the operand; `arg` indexes plan::name_lists: the
//            renaming list, entry 0 the new table name, then the new column
//            names (possibly too few).
//   select:  `left` is the operand; `arg` indexes plan::conditions.
//   fail:    evaluating it raises plan::messages[arg] (no table by that
//            name, or an unknown operation); it has no operands.
// The operation name of an operation node spans from span.begin to the
// first "(" after it.
struct plan_node {
  plan_op op = plan_op::fail;
  source_span span;  // the whole text of the node
  int32_t left = -1;
  int32_t right = -1;
  int32_t arg = -1;
};

// A listed name as read (blanks removed), with where it stands.
struct plan_name {
  std::string text;
  source_span span;
};

// An operand of a comparison: a literal (string with its apostrophes, or
// integer) or a column name.
struct cond_operand {
  bool is_literal = true;
  t_object value;    // the literal; the integer 0 for an empty operand
  std::string name;  // the column name, when not a literal
  std::string text;  // the operand text as read
  source_span span;
};

enum class cond_op : uint8_t { not_, and_, or_, eq, neq, lt, lte, gt, gte, other, fail };

// One node of a condition.
//   not_:           `left`.
//   and_, or_:      `left` and `right`.
//   eq ... gte:     `x` and `y`.
//   other:          an unknown keyword (case included): always true; `x`
//                   and `y` hold its operands as read.
//   fail:           a text without "(" where a predicate must stand;
//                   `message` says so.
struct cond_node {
  cond_op op = cond_op::other;
  std::string keyword;  // as written, before the first "("
  source_span span;
  source_span keyword_span;
  int32_t left = -1;
  int32_t right = -1;
  cond_operand x;
  cond_operand y;
  int32_t message = -1;
};

// A selection's condition: its nodes and the first failing node in the
// order they were read (-1 when there is none), which is raised when
// evaluation reaches the selection.
struct plan_condition {
  int32_t root = -1;
  int32_t first_fail = -1;
};

// Things the reading rules absorbed without a word, for warnings.
enum class note_kind : uint8_t {
  operand_merged,     // a comma at depth 0 was dropped: two operands run together
  text_ignored,       // text after a closing parenthesis was dropped
  group_appended,     // a parenthesised group after a closing parenthesis was appended
  unclosed,           // a parenthesis is never closed
  surplus_close,      // a ")" with no "(" to close
  blank_in_literal,   // blanks inside a quoted constant were removed
};
struct parse_note {
  note_kind kind;
  source_span span;
};

struct plan {
  std::string line;  // the query line as written
  std::vector<plan_node> nodes;
  std::vector<const stored_table*> tables;
  std::vector<cond_node> cond_nodes;
  std::vector<plan_condition> conditions;
  std::vector<std::vector<plan_name>> name_lists;
  std::vector<std::string> messages;
  std::vector<parse_note> notes;
  int32_t root = -1;
  uint32_t max_depth = 0;            // the deepest nesting of parentheses in the line
  uint32_t max_condition_depth = 0;  // the deepest nesting of a condition's nodes

  const plan_node& node(int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
  const cond_node& cond(int32_t i) const { return cond_nodes[static_cast<std::size_t>(i)]; }
  const stored_table& table_of(const plan_node& n) const { return *tables[static_cast<std::size_t>(n.arg)]; }
  const std::vector<plan_name>& names_of(const plan_node& n) const {
    return name_lists[static_cast<std::size_t>(n.arg)];
  }
  const plan_condition& condition_of(const plan_node& n) const {
    return conditions[static_cast<std::size_t>(n.arg)];
  }
  const std::string& message_of(const plan_node& n) const { return messages[static_cast<std::size_t>(n.arg)]; }
};

#endif
