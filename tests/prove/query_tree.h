// The queries the pair generator makes, as small trees: conditions and
// expressions that print as query text, and their headers worked out as the
// language defines them (column names, kinds, whether rows are kept in a
// table's order).
#ifndef RELALG_TESTS_PROVE_QUERY_TREE_H
#define RELALG_TESTS_PROVE_QUERY_TREE_H

#include <string>
#include <vector>

namespace proofgen {

struct cond {
  enum kind { cmp, all, any, neg, unknown } k = cmp;
  std::string op, x, y;
  std::vector<cond> kids;

  std::string text() const;
};

struct expr {
  enum kind { table, rename, select, project, product, union_, minus } k = table;
  std::string name;
  std::vector<std::string> cols;
  cond c;
  std::vector<expr> kids;

  std::string text() const;
};

struct header {
  bool ok = true;
  std::string name;
  std::vector<std::string> cols;
  std::vector<bool> ints;
  bool ordered = false;
};

// The header of a table of the schema, and of any expression.
header base(const std::string& table);
header head(const expr& e);

// The column names a condition reads.
void names_in(const cond& c, std::vector<std::string>& out);

}  // namespace proofgen

#endif
