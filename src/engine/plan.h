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
#include "engine/vocabulary.h"
#include "t_object.h"

// A byte range [begin, end) of the query line as written, blanks included.
// A piece of text that the reading rules assembled from several places
// (operands merged across a dropped comma, groups appended after a closing
// parenthesis) spans from its first byte to its last.
struct source_span {
  uint32_t begin = 0;
  uint32_t end = 0;
};


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
//            name, or an unknown operation); a fail node that stands for
//            an extended operation its operands refuse (divide by columns
//            the dividend lacks) has them as `left` and `right`, and they
//            are evaluated first.
//   join:    `arg` indexes plan::joins; its operands are the join's leaves.
// The operation name of an operation node spans from span.begin to the
// first "(" after it.
//
// An extended operation (vocabulary.h) is read as nodes of the six that
// define it (extended.h): the node that stands for the whole call is
// `origin` call, with the call's span; the others of its definition are
// `origin` definition, with the call's span too; both carry the call's
// operation in `ext`. Its operands' own nodes are read as written.
enum class node_origin : uint8_t { written, call, definition };

struct plan_node {
  plan_op op = plan_op::fail;
  node_origin origin = node_origin::written;
  extended_op ext = extended_op::none;
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

// An operand of a comparison: a literal (an integer, or a string with its
// apostrophes) or a column name.
struct cond_operand {
  bool is_literal = true;
  bool is_int = true;  // a literal integer (the integer 0 for an empty operand)
  int32_t ival = 0;
  std::string text;  // a string literal's text, or the column name
  source_span span;

  t_object value() const { return is_int ? t_object(ival) : t_object(text); }
};


// One node of a condition.
//   not_:           `left`.
//   and_, or_:      `left` and `right`.
//   eq ... gte:     two operands, cond_tree::operands[operands] and the next.
//   other:          an unknown keyword (case included): always true; its
//                   operands as read, as for a comparison.
//   fail:           a text without "(" where a predicate must stand;
//                   `message` indexes plan::messages.
// The keyword spans from span.begin to the first "(" after it.
struct cond_node {
  cond_op op = cond_op::other;
  std::string keyword;  // as written, before the first "("
  source_span span;
  int32_t left = -1;
  int32_t right = -1;
  int32_t operands = -1;
  int32_t message = -1;
};

// The nodes of conditions and the operands of their comparisons.
struct cond_tree {
  std::vector<cond_node> nodes;
  std::vector<cond_operand> operands;

  const cond_node& node(int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
  const cond_operand& x(const cond_node& n) const { return operands[static_cast<std::size_t>(n.operands)]; }
  const cond_operand& y(const cond_node& n) const { return operands[static_cast<std::size_t>(n.operands) + 1]; }
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
  operand_merged,   // a comma at depth 0 was dropped: two operands run together
  text_ignored,     // text after a closing parenthesis was dropped
  group_appended,   // a parenthesised group after a closing parenthesis was appended
  unclosed,         // a "(" is never closed
  surplus_close,    // a ")" with no "(" to close
  quoted_literal,   // a quoted constant holds blanks, commas or parentheses
  integer_text,     // an integer constant read from text that is not only digits, or too large
};
struct parse_note {
  note_kind kind;
  source_span span;
  std::string detail;  // the operation or keyword, or the constant as read
};

// A selection over products (through renames of products) evaluated as a
// join: the products' operands are its leaves, evaluated left to right, and
// pairs of rows are found by hashing on the equalities between columns of
// different leaves instead of being made all. The result is the same as the
// selection over the products gives: the rows that pass, in the products'
// sorted order, under the selection's header; with a projection folded in,
// the projection of those rows.
struct join_key {
  uint32_t leaf_a, col_a;  // a column of one leaf
  uint32_t leaf_b, col_b;  // equal to a column of another
};
struct plan_join {
  int32_t replaces = -1;  // the selection (or the projection over it) it stands for
  int32_t select = -1;    // the selection
  std::vector<int32_t> leaves;
  // place[l][c]: the position of column c of leaf l among the columns of
  // the selection's operand.
  std::vector<std::vector<uint32_t>> place;
  std::vector<join_key> keys;
  std::vector<int32_t> key_conds;  // the equality each key comes from
  bool keys_are_all = false;  // the condition is the keys' equalities and nothing else
  int32_t project = -1;       // the folded projection node, or -1
};

struct plan {
  std::string line;  // the query line as written
  std::vector<plan_node> nodes;
  std::vector<const stored_table*> tables;
  cond_tree conds;
  std::vector<plan_condition> conditions;
  std::vector<plan_join> joins;
  std::vector<std::vector<plan_name>> name_lists;
  std::vector<source_span> name_list_spans;  // where each list stands
  std::vector<std::string> messages;
  std::vector<source_span> message_spans;  // the text each message is about
  std::vector<std::string> message_suggestions;  // the name each proposes, or empty
  std::vector<parse_note> notes;
  int32_t root = -1;
  uint32_t max_depth = 0;            // the deepest nesting of parentheses in the line
  uint32_t max_condition_depth = 0;  // the deepest nesting of a condition's nodes

  const plan_node& node(int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
  const cond_node& cond(int32_t i) const { return conds.node(i); }
  const stored_table& table_of(const plan_node& n) const { return *tables[static_cast<std::size_t>(n.arg)]; }
  const std::vector<plan_name>& names_of(const plan_node& n) const {
    return name_lists[static_cast<std::size_t>(n.arg)];
  }
  const plan_condition& condition_of(const plan_node& n) const {
    return conditions[static_cast<std::size_t>(n.arg)];
  }
  const plan_join& join_of(const plan_node& n) const { return joins[static_cast<std::size_t>(n.arg)]; }
  const std::string& message_of(const plan_node& n) const { return messages[static_cast<std::size_t>(n.arg)]; }
  source_span message_span(int32_t message) const { return message_spans[static_cast<std::size_t>(message)]; }
  const std::string& message_suggestion(int32_t message) const {
    return message_suggestions[static_cast<std::size_t>(message)];
  }
  source_span names_span(const plan_node& n) const { return name_list_spans[static_cast<std::size_t>(n.arg)]; }
};

#endif
