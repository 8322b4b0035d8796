// Gathering and scattering a sequence by a list of positions: projection
// cuts names, type words and rows with the first, the product lays out its
// merged columns with the second.
#ifndef RELALG_ENGINE_VECTOR_OPS_H
#define RELALG_ENGINE_VECTOR_OPS_H

#include <cstddef>
#include <vector>

// Gather: element i of the result is v[idx[i]].
template <class T>
std::vector<T> vector_project(const std::vector<T>& v, const std::vector<int>& idx) {
  std::vector<T> out;
  out.reserve(idx.size());
  for (int i : idx) out.push_back(v[static_cast<std::size_t>(i)]);
  return out;
}

// Scatter: a copy of v in which position p[i] receives v[i], for each i in
// turn; positions no entry names keep their copied value.
template <class T>
std::vector<T> vector_swap(const std::vector<T>& v, const std::vector<int>& p) {
  std::vector<T> out(v);
  for (std::size_t i = 0; i < p.size() && i < v.size(); ++i) {
    out[static_cast<std::size_t>(p[i])] = v[i];
  }
  return out;
}

#endif
