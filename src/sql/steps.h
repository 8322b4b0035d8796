// The WITH clause of the readable translation: its named steps, each under
// a comment, and the names of the statement (steps and table aliases),
// unique as the dialect compares names. A step is made of a union or
// difference, or of a SELECT that its reader cannot fold in further.
#ifndef RELALG_SQL_STEPS_H
#define RELALG_SQL_STEPS_H

#include <string>
#include <string_view>
#include <vector>

#include "engine/plan.h"
#include "sql/block.h"
#include "sql/dialect.h"
#include "sql/identifiers.h"
#include "sql/refusal.h"

namespace relalg_sql {

// A node's result as the readable translation holds it: relalg's header,
// the kind of every column's cells, and the SELECT that yields its rows.
struct rel {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::vector<kind> kinds;
  block b;
  std::size_t depth = 1;  // the nesting of operations that yields it
};

// A step's comment: the operation as written, blanks at its ends dropped,
// cut after 100 bytes, every byte that would not show as itself as \xHH.
std::string comment_of(const plan& p, const plan_node& n);

class step_writer {
 public:
  // The names of the loaded tables are taken from the start.
  step_writer(const plan& p, const catalog_names& tables, dialect d);

  name_registry& names() { return registry_; }
  // A new step's name: OP_N, N counting the steps.
  std::string name(std::string_view op);
  // Adds a step of that name to the clause.
  void add(const std::string& name, const std::string& comment, const std::string& body);
  // Makes r's SELECT a step of its own, its columns under r's column names
  // (where the dialect can hold them), and r a plain read of it.
  void materialize(rel& r, std::string_view op, const std::string& comment);
  // A step holding the rows `body` yields, its columns positional (c1, t1,
  // ...), the form relalg's rules for mixed columns are written in; returns
  // the read of it.
  block positional(std::string_view op, const std::string& comment, const std::string& body,
                   const std::vector<kind>& kinds);
  // The steps, one after the other, without "WITH"; empty for none.
  const std::string& with() const { return with_; }

 private:
  const plan& p_;
  dialect d_;
  name_registry registry_;
  bool materialized_;  // steps are MATERIALIZED (see merge_depth)
  std::string with_;
  std::size_t count_ = 0;
};

}  // namespace relalg_sql

#endif
