// The query interpreter: evaluates an expression text against its own copy
// of the catalog.
#ifndef RELALG_ALGO_H
#define RELALG_ALGO_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database.h"
#include "logic.h"
#include "table.h"

class algo {
 public:
  using handler = table (algo::*)(std::string);

  std::map<std::string, handler, std::less<>> opmap;
  database db;

  explicit algo(database catalog);
  ~algo();

  // Evaluates an expression: a table name, or name(arguments).
  // Throws std::runtime_error for texts that have no result.
  table interpreter(std::string text);

  // What interpreter does, but rows pass by address: a named table's rows
  // are lent out of the catalog instead of copied. The result is valid while
  // this object lives.
  relation evaluate(const std::string& text);

  // Handlers: each takes the argument text of its call.
  table union_(std::string args);
  table minus(std::string args);
  table product(std::string args);
  table project(std::string args);
  table rename(std::string args);
  table select(std::string args);

  // Argument splitters.
  std::pair<std::string, std::string> param2(std::string args);
  std::pair<std::string, std::vector<std::string>> paramproj(std::string args);
  std::pair<std::string, std::vector<std::string>> paramren(std::string args);

 private:
  using result = relation;
  using fast_handler = result (algo::*)(const text_ref&);

  result eval(const text_ref& text);
  // With a condition, a product keeps only the rows that satisfy it.
  result eval_binary(const text_ref& args, char op, const logic* condition = nullptr);
  result eval_union(const text_ref& args) { return eval_binary(args, '+'); }
  result eval_minus(const text_ref& args) { return eval_binary(args, '-'); }
  result eval_product(const text_ref& args) { return eval_binary(args, '*'); }
  result eval_project(const text_ref& args);
  result eval_rename(const text_ref& args);
  result eval_select(const text_ref& args);

  // The catalog table an operand names, or null when the operand is a call;
  // throws when it names no table.
  const table* operand_table(const text_ref& operand);

  // A named table as an operand of union, minus or product, whose results
  // do not depend on the operands' row order: sorted once per table.
  result sorted_operand(const table& t);

  std::map<std::string, fast_handler, std::less<>> fast_;
  // The rows of a catalog table as cells.
  result table_rows(const table& t);

  std::map<const table*, std::shared_ptr<const std::vector<rowref>>> sorted_;
  std::map<const table*, relation> converted_;
  std::map<const table*, std::size_t> uses_;
};

#endif
