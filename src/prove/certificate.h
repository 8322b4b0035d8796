// The certificate of a proof, as JSON: enough for a checker that trusts
// nothing of the prover to confirm it, by reading both queries again,
// numbering their cases by the conventions of form.h, condition.h and
// cases.h, laying out every preorder itself and trying the maps given.
//
//   {"form": "sets" | "ordered" | "empty", "rows_only": BOOL,
//    "preorders": N, "cases": N,
//    "checks": [{"rows_of": 1, "in": 2, "cases": [CASE...]}, ...]}
//
// form "sets": both results are sorted and free of repeats, and the checks
// are 1 in 2 and 2 in 1; "ordered": both keep a table's rows in order, the
// same checks on the rows they keep; "empty": neither has rows, the checks
// 1 in null and 2 in null. Each CASE that has a preorder to refute:
//
//   {"case": [I, J, [CHOICE...]], "occurrences": [TABLE...],
//    "maps": [{"negative": K, "disjunct": D, "occurrences": [ATOM...],
//              "tables": [TABLE...]}, ...]}
//
// "occurrences" names the tables of the case's atoms; each map sends atom
// a of disjunct D of the case's K-th membership that must not hold (in the
// order of its leaves) to the case's atom ATOM[a], and so each of its
// terms to the term in the same column there ("tables" names the
// disjunct's atoms' tables). In every preorder of the
// case, one of its maps is a homomorphism. Cases that no preorder
// satisfies, or that unification alone rules out, are not listed.
#ifndef RELALG_PROVE_CERTIFICATE_H
#define RELALG_PROVE_CERTIFICATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "prove/cases.h"
#include "prove/match.h"

namespace prove {

struct certificate_case {
  std::size_t i = 0, j = 0;
  std::vector<int32_t> choices;
  std::vector<std::string> occurrences;
  struct map {
    int32_t negative = -1;
    homomorphism h;
    std::vector<std::string> occurrences;  // of the disjunct
  };
  std::vector<map> maps;
};

struct certificate_check {
  int rows_of = 1;
  int in = 2;  // 0: no rows at all
  std::vector<certificate_case> cases;
};

// The entry of a refuted case.
certificate_case certify(const proof_case& c, const std::vector<std::pair<int32_t, homomorphism>>& maps);

std::string write_certificate(const std::string& form, bool rows_only, std::size_t preorders,
                              std::size_t cases, const std::vector<certificate_check>& checks);

}  // namespace prove

#endif
