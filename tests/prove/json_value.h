// A small JSON reader for tests: enough to read the prover's certificates
// (objects, arrays, strings, whole numbers, true, false, null).
#ifndef RELALG_TESTS_JSON_VALUE_H
#define RELALG_TESTS_JSON_VALUE_H

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testjson {

struct value {
  enum class type { null, boolean, number, string, array, object } t = type::null;
  bool b = false;
  long long n = 0;
  std::string s;
  std::vector<value> items;
  std::map<std::string, value> fields;

  const value& operator[](const std::string& key) const;  // throws when absent
  bool has(const std::string& key) const { return fields.count(key) != 0; }
};

// Throws std::runtime_error on malformed text.
value parse(const std::string& text);

}  // namespace testjson

#endif
