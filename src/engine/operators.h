// The relational operators on relations: each takes its operands by value
// (their row lists are consumed, their cells only read) and returns a new
// relation. Union, minus, product and projection end with the rows sorted
// and collapsed; rename and select keep their operand's row order.
//
// The operators that can refuse throw evaluation_error (errors.h) with the
// reason; the caller adds where in the query it stands.
#ifndef RELALG_ENGINE_OPERATORS_H
#define RELALG_ENGINE_OPERATORS_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/run_limits.h"
#include "engine/plan.h"
#include "engine/relation.h"

// A condition: tree->nodes[root] and its descendants.
struct condition_ref {
  const cond_tree* tree = nullptr;
  int32_t root = -1;
};

// union: a's name and columns; a's rows and b's, sorted and collapsed (of
// two equal rows a's stays).
relation rel_union(relation a, relation b);
// minus: the distinct rows of a equal to no row of b, under an empty name.
relation rel_minus(relation a, relation b);
// product: the columns of both, laid out in name order; refused when a
// name occurs twice or the result would exceed the limits.
relation rel_product(relation a, relation b, const eval_limits& limits);
// The refusals of rel_product (a name occurring twice, too many rows),
// without building the product.
void check_product(relation a, relation b, const eval_limits& limits);
// select over product, without building the rows that fail: the same
// relation as rel_select(rel_product(a, b, limits), condition).
relation rel_select_product(relation a, relation b, condition_ref condition,
                            const eval_limits& limits);
// project: the listed columns (an unknown name gives the first column; of
// columns sharing a name, the last), rows sorted and collapsed.
relation rel_project(relation t, const std::vector<std::string>& cols);
// rename: names[0] is the new name, names[1..] the new column names by
// position; refused when there are fewer than one per column.
relation rel_rename(relation t, const std::vector<std::string>& names);
// select: the rows the condition holds for, in order, under an empty name.
relation rel_select(relation t, condition_ref condition);

// A join of leaves (rewrite.h): the equalities, where each leaf's columns
// go in the layout of the selection's operand, the selection's condition,
// and the positions of a projection folded in (or null).
struct join_request {
  const std::vector<std::vector<uint32_t>>* place = nullptr;
  const std::vector<join_key>* keys = nullptr;
  bool keys_are_all = false;
  std::vector<std::string> colnames;  // the selection operand's columns
  condition_ref condition;
  const std::vector<int>* project = nullptr;
};
// The rows of the selection (or its projection), sorted and collapsed, with
// no header; the leaves' rows are consumed. Returns false, having done
// nothing, when a leaf has rows of another width than its columns or a
// column mixing integers and strings: the products must then be made. The
// limits bound the rows it keeps (the product is never made).
bool rel_join(std::vector<relation>& leaves, const join_request& req, const eval_limits& limits,
              relation& out);

// The headers the operators build, without rows (also for the schema of a
// plan, the join rewrite and evaluation): a product's columns and type
// words, and where each combined column goes (a's columns, then b's);
// which column each listed name of a projection takes; and the check of a
// renaming list's length. Each throws the operator's refusal.
struct product_header {
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<int> place;  // place[k]: where combined column k (a's, then b's) goes
};
product_header product_header_of(const std::vector<std::string>& a_names, const std::vector<std::string>& a_types,
                                 const std::vector<std::string>& b_names, const std::vector<std::string>& b_types);
std::vector<int> project_positions(const std::vector<std::string>& colnames,
                                   const std::vector<std::string>& cols);
void check_rename(std::size_t columns, std::size_t names);

#endif
