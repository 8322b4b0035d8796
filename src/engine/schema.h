// The header each node of a plan produces (name, column names, type words),
// found without evaluating anything: what warnings, explain output and SQL
// need to know of a node before or without its rows.
#ifndef RELALG_ENGINE_SCHEMA_H
#define RELALG_ENGINE_SCHEMA_H

#include <string>
#include <vector>

#include "engine/plan.h"

struct node_schema {
  // False when the node, or one below it, has no result: its failure (or
  // the first below it that a recursive evaluation would meet) is then in
  // `error` and `at`.
  bool ok = false;
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  // A product's: where each combined column (the left operand's, then the
  // right's) goes.
  std::vector<int> place;
  std::string error;
  source_span at;
  std::string suggestion;  // the name the error's "did you mean" proposes
};

// The schema of every node, by node index. The limits on a product's size
// are not checked: they depend on the rows.
std::vector<node_schema> plan_schemas(const plan& p);

// The schema of node i alone, from its operands' schemas (s[left] and
// s[right], which must be known); s is indexed by node.
node_schema node_schema_of(const plan& p, int32_t i, const std::vector<node_schema>& s);

#endif
