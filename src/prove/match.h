// Homomorphisms into a canonical database. A case of a proof (cases.h) is
// a conjunct W: its atoms, with their terms laid out in one preorder, are
// a database whose values are the classes of the preorder. A membership of
// some of W's terms in a union of conjunctive queries holds on that
// database when some disjunct maps into it: each of the disjunct's atoms
// onto an atom of W of the same table, its head onto those terms, and
// every comparison true in the preorder.
//
// Terms outside the preorder (they occur in no comparison that matters)
// each stand for a value of their own, equal to nothing else, and take part
// in no comparison: a map needing one to compare is not taken. The same
// search, with every term a class of its own and the comparisons that W's
// own imply, finds maps that hold in every preorder at once.
#ifndef RELALG_PROVE_MATCH_H
#define RELALG_PROVE_MATCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "prove/form.h"

namespace prove {

// Whether a comparison holds between two classes (false when it is not
// known to).
using holds_fn = std::function<bool(rel r, int64_t x, int64_t y)>;

// A map of a disjunct into W: the disjunct, and the atom of W that each of
// its atoms goes to.
struct homomorphism {
  int32_t disjunct = -1;
  std::vector<int32_t> atoms;
};

class matcher {
 public:
  // W, the class of each of W's terms, and the class of each constant value
  // a disjunct may hold (-1 for a value outside the preorder: it equals
  // nothing in W).
  using constant_class = std::function<int64_t(const value&)>;
  matcher(const conjunct& w, const std::vector<int64_t>& classes, holds_fn holds, constant_class lookup);

  // Finds a disjunct of u that maps into W with its head on `args` (terms
  // of W). The first found, disjuncts in order. Each atom tried costs one
  // of `steps`; when they run out the search stops, false, with steps 0.
  bool find(const ucq& u, const std::vector<int32_t>& args, homomorphism& out, std::size_t& steps) const;
  // Whether a given map is one.
  bool verify(const ucq& u, const std::vector<int32_t>& args, const homomorphism& h) const;

 private:
  struct search;
  int64_t class_of_constant(const value& v) const { return lookup_(v); }

  const conjunct& w_;
  const std::vector<int64_t>& classes_;
  holds_fn holds_;
  constant_class lookup_;
};

}  // namespace prove

#endif
