// Searching for a homomorphism by backtracking over the atoms of W that
// each atom of the disjunct may go to, with its terms bound to classes.
#include "prove/match.h"

#include <utility>

namespace prove {

namespace {

constexpr int64_t kUnbound = -1;
constexpr int64_t kNowhere = -2;  // a constant outside the preorder

}  // namespace

struct matcher::search {
  const matcher& m;
  const conjunct& e;
  std::vector<int64_t> bound;
  std::vector<int32_t> trail;

  search(const matcher& owner, const conjunct& d) : m(owner), e(d), bound(d.terms.size(), kUnbound) {}

  bool bind(int32_t t, int64_t c) {
    int64_t& b = bound[static_cast<std::size_t>(t)];
    if (b == kUnbound) {
      b = c;
      trail.push_back(t);
      return true;
    }
    return b == c;
  }
  void undo(std::size_t mark) {
    while (trail.size() > mark) {
      bound[static_cast<std::size_t>(trail.back())] = kUnbound;
      trail.pop_back();
    }
  }

  // Constants and the head; false when they cannot be placed.
  bool start(const std::vector<int32_t>& args) {
    for (std::size_t t = 0; t < e.terms.size(); ++t) {
      if (!e.terms[t].constant) continue;
      const int64_t c = m.class_of_constant(e.terms[t].v);
      if (!bind(static_cast<int32_t>(t), c < 0 ? kNowhere : c)) return false;
    }
    for (std::size_t k = 0; k < e.head.size(); ++k) {
      if (!bind(e.head[k], m.classes_[static_cast<std::size_t>(args[k])])) return false;
    }
    return true;
  }

  bool onto(const atom& a, const atom& target) {
    if (a.table != target.table || a.args.size() != target.args.size()) return false;
    for (std::size_t c = 0; c < a.args.size(); ++c) {
      if (!bind(a.args[c], m.classes_[static_cast<std::size_t>(target.args[c])])) return false;
    }
    return true;
  }

  // Every comparison whose terms are bound holds.
  bool comparisons() const {
    for (const comparison& k : e.comps) {
      const int64_t x = bound[static_cast<std::size_t>(k.a)];
      const int64_t y = bound[static_cast<std::size_t>(k.b)];
      if (x == kUnbound || y == kUnbound) continue;
      if (!m.holds_(k.r, x, y)) return false;
    }
    return true;
  }

  bool atoms_from(std::size_t i, std::vector<int32_t>& image, std::size_t& steps) {
    if (i == e.atoms.size()) return true;
    for (std::size_t j = 0; j < m.w_.atoms.size(); ++j) {
      if (steps == 0) return false;
      --steps;
      const std::size_t mark = trail.size();
      if (onto(e.atoms[i], m.w_.atoms[j]) && comparisons()) {
        image[i] = static_cast<int32_t>(j);
        if (atoms_from(i + 1, image, steps)) return true;
      }
      undo(mark);
    }
    return false;
  }
};

matcher::matcher(const conjunct& w, const std::vector<int64_t>& classes, holds_fn holds, constant_class lookup)
    : w_(w), classes_(classes), holds_(std::move(holds)), lookup_(std::move(lookup)) {}

bool matcher::find(const ucq& u, const std::vector<int32_t>& args, homomorphism& out, std::size_t& steps) const {
  for (std::size_t d = 0; d < u.disjuncts.size() && steps > 0; ++d) {
    const conjunct& e = u.disjuncts[d];
    if (e.dead) continue;
    search s(*this, e);
    if (!s.start(args) || !s.comparisons()) continue;
    std::vector<int32_t> image(e.atoms.size(), -1);
    if (s.atoms_from(0, image, steps)) {
      out.disjunct = static_cast<int32_t>(d);
      out.atoms = std::move(image);
      return true;
    }
  }
  return false;
}

bool matcher::verify(const ucq& u, const std::vector<int32_t>& args, const homomorphism& h) const {
  if (h.disjunct < 0 || static_cast<std::size_t>(h.disjunct) >= u.disjuncts.size()) return false;
  const conjunct& e = u.disjuncts[static_cast<std::size_t>(h.disjunct)];
  if (e.dead || h.atoms.size() != e.atoms.size()) return false;
  search s(*this, e);
  if (!s.start(args)) return false;
  for (std::size_t i = 0; i < e.atoms.size(); ++i) {
    const int32_t j = h.atoms[i];
    if (j < 0 || static_cast<std::size_t>(j) >= w_.atoms.size() || !s.onto(e.atoms[i], w_.atoms[static_cast<std::size_t>(j)])) {
      return false;
    }
  }
  return s.comparisons();
}

}  // namespace prove
