// The words of the two notations: the operator symbols, and how a name, a
// string constant and an integer stand in each. The formula writer
// (formula.cpp) decides the layout and the parentheses; this decides the
// characters.
#ifndef RELALG_NOTATION_STYLE_H
#define RELALG_NOTATION_STYLE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "notation/notation.h"

namespace relalg_notation {

struct style {
  // A unary operator is written  OPEN subscript MIDDLE operand ")".
  std::string_view select_open, project_open, rename_open, middle;
  // Binary operators and connectives, with their blanks.
  std::string_view product, union_, minus;
  std::string_view and_, or_, not_;
  std::string_view eq, neq, lt, lte, gt, gte;
  // The condition an unknown keyword stands for.
  std::string_view always_true;
  // The extended operations: the natural join, intersection and division,
  // with their blanks; a join with a condition is  E1 JOIN_OPEN P JOIN_CLOSE E2.
  std::string_view natural_join, intersect, divide;
  std::string_view join_open, join_close;
};

const style& style_of(notation_form form);

// A table or column name in the form's notation.
std::string name_text(std::string_view name, notation_form form);
// A string constant, its apostrophes included.
std::string string_text(std::string_view text, notation_form form);
// An integer constant.
std::string integer_text(int32_t v);

}  // namespace relalg_notation

#endif
