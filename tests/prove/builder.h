// The pair generator's random choices: queries over the schema, and the
// rewrites (equivalent by construction) and changes (near misses) applied
// to them at a random node.
#ifndef RELALG_TESTS_PROVE_BUILDER_H
#define RELALG_TESTS_PROVE_BUILDER_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "query_tree.h"

namespace proofgen {

class builder {
 public:
  explicit builder(std::mt19937_64& rng) : rng_(rng) {}

  int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return pick(100) < percent; }

  std::string int_constant() { return std::to_string(pick(6) - 1); }
  std::string text_constant() { return std::string("'") + "xyz"[pick(3)] + "'"; }

  // A comparison over h's columns; a condition of `size` comparisons; a
  // table of the schema, renamed now and then; a query of at most `depth`
  // levels, counting its table occurrences in `tables`.
  cond comparison(const header& h);
  cond condition(const header& h, int size);
  expr leaf();
  expr query(int depth, int& tables);

  std::string fresh_name() { return "Q" + std::to_string(++fresh_); }

  // A product of x and y, renaming y's columns when the names meet.
  expr product(expr x, expr y);

  // All nodes of a tree, by address.
  void nodes(expr& e, std::vector<expr*>& out) {
    out.push_back(&e);
    for (expr& k : e.kids) nodes(k, out);
  }
  void conds(cond& c, std::vector<cond*>& out) {
    out.push_back(&c);
    for (cond& k : c.kids) conds(k, out);
  }

  // Rewrites the tree at a node where a rewrite fits; false when none does.
  bool rewrite(expr& root, std::string& how);
  // Changes one comparison, constant, column or operation.
  bool change(expr& root, std::string& how);

 private:
  std::mt19937_64& rng_;
  int fresh_ = 0;
};

}  // namespace proofgen

#endif
