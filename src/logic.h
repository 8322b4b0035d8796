// One node of a parsed selection condition, and the tree of them built from
// a condition text by the engine's condition reader (engine/parser.h),
// evaluated per row against a binding of column names to values.
#ifndef RELALG_LOGIC_H
#define RELALG_LOGIC_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "t_object.h"

using binding = std::map<std::string, t_object>;

// NOT has left; AND and OR have left and right; every other keyword is a
// comparison with exactly one of lname/lval and one of rname/rval. A node
// owns everything below it.
class logic {
 public:
  std::string op;
  std::unique_ptr<logic> left;
  std::unique_ptr<logic> right;
  std::unique_ptr<std::string> lname;
  std::unique_ptr<std::string> rname;
  std::unique_ptr<t_object> lval;
  std::unique_ptr<t_object> rval;

  // Parses a condition. A text without "(" where a predicate must stand
  // throws std::runtime_error.
  explicit logic(std::string text);
  ~logic();
  logic(const logic&) = delete;
  logic& operator=(const logic&) = delete;

  // True when the row bound in *row satisfies the condition. A column name
  // the binding lacks is added to it as the integer 0.
  bool verify(binding* row);

  // An operand text is an integer literal when atoi gives non-zero or every
  // character is "0" (the empty text included).
  bool isint(std::string s) const;

 private:
  logic() = default;
  friend class logic_builder;
};

// The tree below root as condition nodes (root first), for the engine's
// compiled evaluation; literals are copied.
cond_tree condition_nodes(const logic& root);

#endif
