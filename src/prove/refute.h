// Refuting one case of a containment (cases.h): showing that in every
// preorder of the terms that matter, some membership that must not hold
// maps into the case's conjunct W, or finding a preorder where none does.
//
// The terms that matter are W's constants, the constants of the
// memberships' disjuncts, W's terms in comparisons, and W's terms in the
// columns where some disjunct of a membership has a term it compares (only
// those can be compared by a map). Every other term of W stays a value of
// its own: merging it with another can only help a map, so a case that
// holds with them apart holds, and one refuted with them apart is refuted
// whatever they equal.
#ifndef RELALG_PROVE_REFUTE_H
#define RELALG_PROVE_REFUTE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "prove/cases.h"
#include "prove/match.h"
#include "prove/realize.h"

namespace prove {

struct refutation {
  // unusable: the case holds, but only in preorders `usable` refused.
  enum class outcome { refuted, holds, unusable, gave_up } result = outcome::refuted;
  // refuted: the maps used, each with the index of the membership it
  // shows, so that one of them works in every preorder.
  std::vector<std::pair<int32_t, homomorphism>> maps;
  // holds: a preorder in which no membership maps.
  kind_layout ints, texts;
  std::size_t preorders = 0;  // examined
};

// `budget` is the number of preorders that may still be examined, `steps`
// the atoms the search for maps may still try; both are decreased by what
// is used, and the result is gave_up when one runs out. `usable`, when
// given, is asked about each preorder in which the case holds; one it
// refuses is passed over and the search goes on.
using usable_fn = std::function<bool(const kind_layout& ints, const kind_layout& texts)>;
refutation refute(const proof_case& c, std::size_t& budget, std::size_t& steps, const usable_fn& usable = {});

}  // namespace prove

#endif
