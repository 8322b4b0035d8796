// Conditions from arbitrary text: the condition reader must refuse and build
// exactly what the plain rules on strings give, and the compiled form of a
// condition (bound_predicate) must decide every row exactly as verify does
// on the row's binding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/unit/plain_rules.h"
#include "engine/predicate.h"
#include "engine/show_text.h"
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

bool is_int_literal(const std::string& s) {
  if (!s.empty() && s[0] == '\'') return false;
  if (text_to_int(s) != 0) return true;
  return s.find_first_not_of('0') == std::string::npos;
}

// An integer literal as its value, anything else as its text.
std::string shown(const std::string& operand) {
  return is_int_literal(operand) ? "\x01" + std::to_string(text_to_int(operand)) : operand;
}

// The tree the plain rules give for a condition text, rendered; refused is
// set when a text without "(" stands where a predicate must.
std::string plain_tree(const std::string& text, bool raw, bool& refused) {
  const std::size_t p = text.find('(');
  if (p == std::string::npos) {
    refused = true;
    return {};
  }
  const std::string op = raw ? text.substr(0, p) : without_blanks(text.substr(0, p));
  const std::string o = plain_operands(text);
  if (op == "NOT") return "NOT{" + plain_tree(o, false, refused) + "}";
  const auto [a, b] = plain_split(o);
  if (op == "AND" || op == "OR") {
    const std::string l = plain_tree(a, false, refused);
    return op + "{" + l + ";" + plain_tree(b, false, refused) + "}";
  }
  return op + "[" + shown(a) + "|" + shown(b) + "]";
}

std::string operand_text(const std::unique_ptr<std::string>& name, const std::unique_ptr<t_object>& value) {
  if (name) return *name;
  return value->is_int ? "\x01" + std::to_string(value->ival) : value->sval;
}

// The tree logic built, in plain_tree's rendering.
std::string built_tree(const logic& n) {
  if (n.op == "NOT") return "NOT{" + built_tree(*n.left) + "}";
  if (n.op == "AND" || n.op == "OR") return n.op + "{" + built_tree(*n.left) + ";" + built_tree(*n.right) + "}";
  return n.op + "[" + operand_text(n.lname, n.lval) + "|" + operand_text(n.rname, n.rval) + "]";
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

  // The plain rules refuse exactly the same texts and give the same tree.
  if (size > 2000) return 0;  // the plain reading recurses per level
  bool plain_refused = false;
  const std::string plain = plain_tree(text, true, plain_refused);
  if (plain_refused != refused) fail("the plain rules refuse differently", text);
  if (refused) return 0;
  if (plain != built_tree(*root)) fail("the plain rules give another tree", text);

  const cond_tree nodes = condition_nodes(*root);
  const std::vector<std::vector<std::string>> layouts = {kColumns, {}, {"a"}};
  for (const auto& cols : layouts) {
    const bound_predicate compiled(nodes, 0, cols);
    for (const auto& row : rows) {
      binding b = bind(cols, row);
      const bool want = root->verify(&b);
      std::vector<cell> cells;
      for (const t_object& v : row) cells.push_back(cell::of(v));
      if (compiled.test(cells.data(), static_cast<uint32_t>(cells.size())) != want) {
        fail("bound_predicate disagrees with verify", text);
      }
      // verify adds absent names as 0; asking again must not change the answer.
      if (root->verify(&b) != want) fail("verify changes its answer on a second call", text);
    }
  }
  return 0;
}
