// The query interpreter: a dispatch table from operation name to handler,
// and its own copy of the catalog. A thin layer over the engine: the
// handlers split their argument text with the engine's splitters, evaluate
// their operands through interpreter, and apply the table operators, which
// run the engine's; a text that has no result fails as the engine says.
// The program itself answers queries through the engine's session
// (engine/session.h), which reads the whole query once.
#ifndef RELALG_ALGO_H
#define RELALG_ALGO_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "database.h"
#include "table.h"

class algo {
 public:
  // A handler takes the argument text of its operation (blanks removed)
  // and returns the operation's result.
  using handler = table (algo::*)(std::string args);

  std::map<std::string, handler> opmap;
  database db;

  explicit algo(database catalog);
  ~algo();

  // Evaluates a query: a table name, or name(arguments). Throws
  // std::runtime_error (evaluation_error) for a text that has no result.
  table interpreter(std::string text);

  // The handlers, one per operation.
  table union_(std::string args);
  table minus(std::string args);
  table product(std::string args);
  table project(std::string args);
  table rename(std::string args);
  table select(std::string args);

  // The argument splitters, on a blank-free argument text: the two
  // operands of union, minus, product and select; the expression and
  // column names of project; the expression and renaming list of rename.
  std::pair<std::string, std::string> param2(std::string args);
  std::pair<std::string, std::vector<std::string>> paramproj(std::string args);
  std::pair<std::string, std::vector<std::string>> paramren(std::string args);
};

#endif
