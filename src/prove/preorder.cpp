// Enumerating preorders: variables are placed one at a time, each into an
// existing class or into a new class in any gap, and a placement that
// breaks a comparison with a placed term, or crowds a gap beyond its room,
// is abandoned at once.
#include "prove/preorder.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace prove {

std::size_t room_between(kind k, const value* lo, const value* hi) {
  if (k == kind::integer) {
    const int64_t a = lo != nullptr ? lo->i : static_cast<int64_t>(INT32_MIN) - 1;
    const int64_t b = hi != nullptr ? hi->i : static_cast<int64_t>(INT32_MAX) + 1;
    return b - a - 1 < 0 ? 0 : static_cast<std::size_t>(b - a - 1);
  }
  if (hi == nullptr) return SIZE_MAX;
  const std::string& b = hi->s;
  // Below or after the lower bound, the strings before `hi` are finitely many
  // only when `hi` is the bound followed by zero bytes.
  const std::string a = lo != nullptr ? lo->s : std::string();
  if (b.size() < a.size() || b.compare(0, a.size(), a) != 0) return SIZE_MAX;
  for (std::size_t i = a.size(); i < b.size(); ++i) {
    if (b[i] != '\0') return SIZE_MAX;
  }
  const std::size_t zeros = b.size() - a.size();
  return lo != nullptr ? zeros - 1 : zeros;
}

namespace {

class enumerator {
 public:
  enumerator(const order_problem& p, const std::function<bool(const std::vector<int32_t>&)>& visit)
      : p_(p), visit_(visit) {
    const auto constants = static_cast<int32_t>(p.constants.size());
    const int32_t slots = constants + p.variables;
    class_of_.assign(static_cast<std::size_t>(slots), -1);
    partners_.resize(static_cast<std::size_t>(slots));
    for (std::size_t i = 0; i < p.comps.size(); ++i) {
      partners_[static_cast<std::size_t>(p.comps[i].a)].push_back(static_cast<int32_t>(i));
      partners_[static_cast<std::size_t>(p.comps[i].b)].push_back(static_cast<int32_t>(i));
    }
    for (int32_t c = 0; c < constants; ++c) {
      class_of_[static_cast<std::size_t>(c)] = c;
      order_.push_back(c);
      constant_of_.push_back(c);
    }
    position_ = order_;
    // The most constrained variables first, so that dead ends show early.
    for (int32_t v = constants; v < slots; ++v) vars_.push_back(v);
    std::stable_sort(vars_.begin(), vars_.end(), [&](int32_t x, int32_t y) {
      return partners_[static_cast<std::size_t>(x)].size() > partners_[static_cast<std::size_t>(y)].size();
    });
    rank_.resize(static_cast<std::size_t>(slots));
  }

  bool run() { return place(0); }

 private:
  bool place(std::size_t k) {
    if (k == vars_.size()) {
      for (std::size_t s = 0; s < class_of_.size(); ++s) {
        rank_[s] = position_[static_cast<std::size_t>(class_of_[s])];
      }
      return visit_(rank_);
    }
    const int32_t v = vars_[k];
    const std::size_t classes = order_.size();
    for (std::size_t i = 0; i < classes; ++i) {
      class_of_[static_cast<std::size_t>(v)] = order_[i];
      if (consistent(v) && !place(k + 1)) return false;
    }
    const auto fresh = static_cast<int32_t>(constant_of_.size());
    constant_of_.push_back(-1);
    position_.push_back(-1);
    for (std::size_t g = 0; g <= classes; ++g) {
      order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(g), fresh);
      renumber();
      class_of_[static_cast<std::size_t>(v)] = fresh;
      const bool ok = fits(g) && consistent(v);
      if (ok && !place(k + 1)) return false;
      order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(g));
    }
    constant_of_.pop_back();
    position_.pop_back();
    renumber();
    class_of_[static_cast<std::size_t>(v)] = -1;
    return true;
  }

  void renumber() {
    for (std::size_t i = 0; i < order_.size(); ++i) position_[static_cast<std::size_t>(order_[i])] = static_cast<int32_t>(i);
  }

  // The classes of variables around the new one at g fit between the
  // constants that bound them.
  bool fits(std::size_t g) const {
    std::size_t lo = g, hi = g + 1, count = 1;
    const value* a = nullptr;
    const value* b = nullptr;
    while (lo-- > 0) {
      const int32_t c = constant_of_[static_cast<std::size_t>(order_[lo])];
      if (c >= 0) {
        a = &p_.constants[static_cast<std::size_t>(c)];
        break;
      }
      ++count;
    }
    for (; hi < order_.size(); ++hi) {
      const int32_t c = constant_of_[static_cast<std::size_t>(order_[hi])];
      if (c >= 0) {
        b = &p_.constants[static_cast<std::size_t>(c)];
        break;
      }
      ++count;
    }
    return count <= room_between(p_.k, a, b);
  }

  bool consistent(int32_t v) const {
    for (const int32_t i : partners_[static_cast<std::size_t>(v)]) {
      const slot_comparison& c = p_.comps[static_cast<std::size_t>(i)];
      const int32_t ca = class_of_[static_cast<std::size_t>(c.a)];
      const int32_t cb = class_of_[static_cast<std::size_t>(c.b)];
      if (ca < 0 || cb < 0) continue;
      const int32_t x = position_[static_cast<std::size_t>(ca)];
      const int32_t y = position_[static_cast<std::size_t>(cb)];
      bool h = true;
      switch (c.r) {
        case rel::eq: h = x == y; break;
        case rel::ne: h = x != y; break;
        case rel::lt: h = x < y; break;
        case rel::le: h = x <= y; break;
      }
      if (!h) return false;
    }
    return true;
  }

  const order_problem& p_;
  const std::function<bool(const std::vector<int32_t>&)>& visit_;
  std::vector<int32_t> class_of_;     // by slot; -1 unplaced
  std::vector<int32_t> order_;        // class ids, ascending
  std::vector<int32_t> position_;     // by class id
  std::vector<int32_t> constant_of_;  // by class id: its constant slot, or -1
  std::vector<std::vector<int32_t>> partners_;
  std::vector<int32_t> vars_;
  std::vector<int32_t> rank_;
};

}  // namespace

bool each_preorder(const order_problem& p, const std::function<bool(const std::vector<int32_t>&)>& visit) {
  enumerator e(p, visit);
  return e.run();
}

}  // namespace prove
