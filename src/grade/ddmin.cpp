// Zeller's ddmin over row numbers: try each of n chunks alone, then each
// complement, refining n until single rows; then the check that removes
// each row in turn, repeated until no removal keeps the test holding.
#include "grade/ddmin.h"

#include <algorithm>
#include <unordered_map>

namespace grade {

namespace {

struct set_hash {
  std::size_t operator()(const row_set& s) const {
    std::uint64_t h = 1469598103934665603ull;
    for (const std::uint32_t v : s) h = (h ^ v) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ s.size());
  }
};

// Runs the test once per distinct set, within the budget.
class tester {
 public:
  tester(const std::function<bool(const row_set&)>& holds, std::size_t budget)
      : holds_(holds), budget_(budget) {}

  bool operator()(const row_set& s) {
    const auto it = memo_.find(s);
    if (it != memo_.end()) return it->second;
    if (tests_ >= budget_) {
      exhausted_ = true;
      return false;
    }
    ++tests_;
    const bool r = holds_(s);
    memo_.emplace(s, r);
    return r;
  }
  bool exhausted() const { return exhausted_; }
  std::size_t tests() const { return tests_; }

 private:
  const std::function<bool(const row_set&)>& holds_;
  std::size_t budget_;
  std::size_t tests_ = 0;
  bool exhausted_ = false;
  std::unordered_map<row_set, bool, set_hash> memo_;
};

}  // namespace

ddmin_result ddmin(const row_set& start, const std::function<bool(const row_set&)>& holds,
                   std::size_t budget) {
  tester test(holds, budget);
  row_set c = start;
  std::size_t n = 2;
  while (c.size() >= 2 && !test.exhausted()) {
    n = std::min(n, c.size());
    const auto bound = [&](std::size_t i) { return static_cast<long>(i * c.size() / n); };
    bool reduced = false;
    for (std::size_t i = 0; i < n && !reduced; ++i) {
      row_set part(c.begin() + bound(i), c.begin() + bound(i + 1));
      if (test(part)) {
        c = std::move(part);
        n = 2;
        reduced = true;
      }
    }
    // With two chunks each complement is the other chunk, tried already.
    for (std::size_t i = 0; i < n && !reduced && n > 2; ++i) {
      row_set rest(c.begin(), c.begin() + bound(i));
      rest.insert(rest.end(), c.begin() + bound(i + 1), c.end());
      if (test(rest)) {
        c = std::move(rest);
        n = std::max<std::size_t>(n - 1, 2);
        reduced = true;
      }
    }
    if (!reduced) {
      if (n >= c.size()) break;
      n = std::min(2 * n, c.size());
    }
  }
  // The check that makes the set 1-minimal whatever the test is like.
  for (bool changed = true; changed && !test.exhausted();) {
    changed = false;
    for (std::size_t i = 0; i < c.size() && !changed; ++i) {
      row_set rest = c;
      rest.erase(rest.begin() + static_cast<long>(i));
      if (test(rest)) {
        c = std::move(rest);
        changed = true;
      }
    }
  }
  return {std::move(c), !test.exhausted(), test.tests()};
}

}  // namespace grade
