// Evaluation of a plan: the walk over its nodes that applies each operator
// to its evaluated operands, and the state one evaluation keeps (sorted
// copies of tables used several times). One evaluator serves one
// evaluation at a time; the plan and the tables it reads are only read, so
// several evaluators may evaluate over the same tables at once.
#ifndef RELALG_ENGINE_EVALUATOR_H
#define RELALG_ENGINE_EVALUATOR_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/catalog.h"
#include "engine/observer.h"
#include "engine/operators.h"
#include "engine/plan.h"
#include "engine/relation.h"
#include "engine/run_limits.h"

class evaluator {
 public:
  // `tables`, when given, stands in for p.tables: entry k is the table that
  // table reference k of the plan reads (one with the same header), so a
  // plan read against one database evaluates against another.
  explicit evaluator(eval_limits limits) : limits_(limits) {}

  // Evaluates p. Rows pass by address: the result views the tables and the
  // plan, which must outlive it. Throws evaluation_error (errors.h), placed
  // at the node that failed, for a query that has no result, and
  // std::bad_alloc when memory runs out.
  relation evaluate(const plan& p, eval_observer* observer = nullptr,
                    const std::vector<const stored_table*>* tables = nullptr);

 private:
  using operands = std::vector<relation>;
  relation apply(const plan_node& n, operands& in);
  relation select(const plan_node& n, operands& in);
  relation join(const plan_node& n, operands& in);
  relation names_op(const plan_node& n, operands& in);
  // The products and renames between a join's selection and its leaves,
  // applied to the evaluated leaves: with rows, the relation the selection
  // would see; without, only its header.
  relation region(const plan_join& j, int32_t node, operands& leaves, bool rows);
  condition_ref condition_of(const plan_node& n) const;
  const stored_table& table_of(const plan_node& n) const;
  int32_t index_of(const plan_node& n) const;
  // A named table as an operand of union, minus or product, whose results
  // do not depend on the operands' row order: sorted once per table, the
  // second time it is used.
  relation sorted_operand(const stored_table& t);

  eval_limits limits_;
  const plan* plan_ = nullptr;
  const std::vector<const stored_table*>* tables_ = nullptr;
  std::map<const stored_table*, std::shared_ptr<const std::vector<rowref>>> sorted_;
  std::map<const stored_table*, std::size_t> uses_;
};

#endif
