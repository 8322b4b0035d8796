// From a case that holds to a database: values that lay out the case's
// terms in the preorder found (constants in place, the classes between
// them in order), every other term a value of its own, and row lines that
// load as exactly those cells.
#ifndef RELALG_PROVE_REALIZE_H
#define RELALG_PROVE_REALIZE_H

#include <cstdint>
#include <string>
#include <vector>

#include "prove/form.h"

namespace prove {

// One kind's preorder: its constants (slots 0..C-1, ascending), the term
// of W at each variable slot (C onwards), and every slot's class.
struct kind_layout {
  kind k = kind::integer;
  std::vector<value> constants;
  std::vector<int32_t> terms;
  std::vector<int32_t> rank;
};

// Values for every term of w. False when the layout cannot be given values
// (it never happens for a layout the enumeration visits, short of strings
// that need bytes no row line holds).
bool realize(const conjunct& w, const kind_layout& ints, const kind_layout& texts, std::vector<value>& out);

// A row line that loads as exactly these cells, or false: a string with a
// blank, a comma or a line feed, an empty string before a non-empty cell,
// or a string with one apostrophe before another cell cannot be written.
bool row_line(const std::vector<value>& cells, std::string& out);

}  // namespace prove

#endif
