// The query interpreter: reads a query into a plan against its own copy of
// the catalog, and evaluates the plan through its dispatch table, which
// maps each operation name to the handler that applies the operation.
#ifndef RELALG_ALGO_H
#define RELALG_ALGO_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database.h"
#include "engine/observer.h"
#include "engine/run_limits.h"
#include "engine/operators.h"
#include "engine/parser.h"
#include "engine/plan.h"
#include "engine/relation.h"
#include "table.h"

class algo {
 public:
  // The evaluated operands of a node: its left and right (or only left),
  // or a join's leaves.
  using operands = std::vector<relation>;
  using handler = relation (algo::*)(const plan_node& node, operands& in);

  std::map<std::string, handler, std::less<>> opmap;
  database db;

  explicit algo(database catalog, eval_limits limits = {});
  ~algo();

  // Evaluates a query: a table name, or name(arguments). Throws
  // std::runtime_error (evaluation_error) for texts that have no result.
  table interpreter(std::string text);

  // Reads a query line against this interpreter's catalog.
  plan read(std::string query, parse_options options = {}) const;
  // Evaluates a plan read by read(). Rows pass by address: the result views
  // the catalog and the plan, which must outlive it.
  relation evaluate(const plan& p, eval_observer* observer = nullptr);

  // The handlers, one per operation, each applying its operation to the
  // evaluated operands of a node.
  relation union_(const plan_node& node, operands& in);
  relation minus(const plan_node& node, operands& in);
  relation product(const plan_node& node, operands& in);
  relation project(const plan_node& node, operands& in);
  relation rename(const plan_node& node, operands& in);
  relation select(const plan_node& node, operands& in);
  // What a selection over products becomes (engine/rewrite.h).
  relation join(const plan_node& node, operands& in);

  // The argument splitters, on a blank-free operand text.
  std::pair<std::string, std::string> param2(std::string args);
  std::pair<std::string, std::vector<std::string>> paramproj(std::string args);
  std::pair<std::string, std::vector<std::string>> paramren(std::string args);

 private:
  // The rows of a catalog table, unsorted.
  relation table_rows(const stored_table& t);
  // A named table as an operand of union, minus or product, whose results
  // do not depend on the operands' row order: sorted once per table, the
  // second time it is used.
  relation sorted_operand(const stored_table& t);
  // The operands a node's handler is applied to: a selection over a product
  // takes the product's operands and never builds it; `sets` marks those of
  // union, minus and product.
  struct operand_list {
    const int32_t* leaves = nullptr;  // a join's, in the plan; else `pair`
    uint32_t size = 0;
    bool sets = false;
    int32_t pair[2] = {-1, -1};
    int32_t operator[](std::size_t k) const { return leaves != nullptr ? leaves[k] : pair[k]; }
  };
  operand_list operand_nodes(const plan_node& n) const;
  // The products and renames between a join's selection and its leaves,
  // applied to the evaluated leaves: with rows, the relation the selection
  // would see; without, only its header.
  relation region(const plan_join& j, int32_t node, operands& leaves, bool rows);
  condition_ref condition_of(const plan_node& n) const;

  eval_limits limits_;
  const plan* plan_ = nullptr;
  std::array<handler, 8> by_op_{};  // opmap's handlers, by operation
  std::map<const stored_table*, std::shared_ptr<const std::vector<rowref>>> sorted_;
  operands in_;  // reused from node to node
  std::map<const stored_table*, std::size_t> uses_;
};

#endif
