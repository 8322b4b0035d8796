// Conditions from arbitrary text: the compiled form of a condition
// (bound_predicate) must decide every row exactly as verify does on the
// row's binding, and a condition read from an indexed text must parse into
// the same tree as one read from a plain string.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "logic.h"
#include "t_object.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "fuzz_predicate: %s\n  condition (%zu bytes): %s\n", what, text.size(),
               show_text(text).c_str());
  std::abort();
}

// A layout with a repeated name (the last "a" must win), and names the
// fuzzer reaches easily.
const std::vector<std::string> kColumns = {"a", "b", "a", "c", "x", "'s'"};

std::vector<std::vector<t_object>> make_rows() {
  using v = t_object;
  return {
      {v(1), v(std::string("'x'")), v(2), v(0), v(-5), v(std::string("'s'"))},
      {v(0), v(std::string("")), v(0), v(std::string("0")), v(7), v(3)},
      {v(std::string("'b'")), v(-1), v(std::string("'a'")), v(2147483647), v(-2147483647 - 1),
       v(std::string("'"))},
      // Short rows: the later columns are unbound, the earlier "a" is the
      // only one present in the second.
      {v(3), v(4)},
      {v(9)},
      {},
      // Longer than the layout: the extra cell binds nothing.
      {v(1), v(1), v(1), v(1), v(1), v(1), v(42)},
  };
}

binding bind(const std::vector<std::string>& cols, const std::vector<t_object>& row) {
  binding b;
  for (std::size_t i = 0; i < row.size() && i < cols.size(); ++i) b[cols[i]] = row[i];
  return b;
}

bool same_ptr_string(const std::unique_ptr<std::string>& x, const std::unique_ptr<std::string>& y) {
  if (!x || !y) return !x && !y;
  return *x == *y;
}

bool same_ptr_value(const std::unique_ptr<t_object>& x, const std::unique_ptr<t_object>& y) {
  if (!x || !y) return !x && !y;
  return x->is_int == y->is_int && x->ival == y->ival && x->sval == y->sval;
}

bool same_tree(const logic& x, const logic& y) {
  if (x.op != y.op) return false;
  if (!same_ptr_string(x.lname, y.lname) || !same_ptr_string(x.rname, y.rname)) return false;
  if (!same_ptr_value(x.lval, y.lval) || !same_ptr_value(x.rval, y.rval)) return false;
  if (static_cast<bool>(x.left) != static_cast<bool>(y.left)) return false;
  if (static_cast<bool>(x.right) != static_cast<bool>(y.right)) return false;
  if (x.left && !same_tree(*x.left, *y.left)) return false;
  if (x.right && !same_tree(*x.right, *y.right)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::vector<std::vector<t_object>> rows = make_rows();
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::unique_ptr<logic> root;
  bool refused = false;
  try {
    root = std::make_unique<logic>(text);
  } catch (const std::runtime_error&) {
    refused = true;
  }

  // The indexed reading refuses exactly the same texts and builds the same tree.
  std::unique_ptr<logic> indexed;
  try {
    indexed = std::make_unique<logic>(text_ref::of(text));
    if (refused) fail("indexed reading accepts a text the plain reading refuses", text);
  } catch (const std::runtime_error&) {
    if (!refused) fail("indexed reading refuses a text the plain reading accepts", text);
  }
  if (refused) return 0;
  if (!same_tree(*root, *indexed)) fail("indexed and plain readings build different trees", text);

  const std::vector<std::vector<std::string>> layouts = {kColumns, {}, {"a"}};
  for (const auto& cols : layouts) {
    const bound_predicate compiled(*root, cols);
    for (const auto& row : rows) {
      binding b = bind(cols, row);
      const bool want = root->verify(&b);
      if (compiled.test(row) != want) fail("bound_predicate disagrees with verify", text);
      // verify adds absent names as 0; asking again must not change the answer.
      if (root->verify(&b) != want) fail("verify changes its answer on a second call", text);
    }
  }
  return 0;
}
