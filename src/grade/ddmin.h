// Delta debugging over sets of row numbers: shrinks a set on which a test
// holds to one on which it still holds and from which no single element can
// be taken away without the test failing (a 1-minimal set). The test need
// not be monotone; only the final check by single removals is relied on.
#ifndef RELALG_GRADE_DDMIN_H
#define RELALG_GRADE_DDMIN_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace grade {

using row_set = std::vector<std::uint32_t>;  // ascending, no repeats

struct ddmin_result {
  row_set rows;
  bool minimal = false;  // the single-removal check ran to its end
  std::size_t tests = 0;  // distinct sets tested
};

// `holds` must hold on `start`. Each distinct set is tested once. After at
// most `budget` tests the search stops with the smallest set found so far,
// not known to be minimal; the budget makes every search end.
ddmin_result ddmin(const row_set& start, const std::function<bool(const row_set&)>& holds,
                   std::size_t budget = 20000);

}  // namespace grade

#endif
