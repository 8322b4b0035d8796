// Selection conditions: the shared scanner for "name(args)" texts, the
// predicate tree that a condition parses into, and its evaluation.
#ifndef RELALG_LOGIC_H
#define RELALG_LOGIC_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "t_object.h"
#include "table.h"

// ---- The text scheme shared with the query interpreter -------------------
//
// Both languages are read the same way: the keyword is the text before the
// first "(", the operands are the text inside the outermost parentheses with
// every blank removed, and operands split at commas of nesting depth 0.

// The operand text of a call: from the first "(", blanks dropped, every
// character at depth 1 or more kept except the parentheses that open and
// close depth 1. Characters after the closing parenthesis are dropped but
// for the inside of later parenthesised groups.
std::string call_operands(std::string_view text);

// Splits at the first comma of depth 0. Later commas of depth 0 are dropped,
// so the second part is the rest with those commas removed.
std::pair<std::string, std::string> split_first(std::string_view text);

// An operand text indexed once, so that nested calls and their top-level
// commas are found without rescanning or copying the text at every level of
// nesting. Operand texts have no blanks and never fall below depth 0; any
// other text is marked not plain and read by the general rules instead.
struct nest_index {
  // A set of text positions as one bit each, with running counts, so that
  // "how many before i" and "the next one from i" cost a word or a few.
  class position_bits {
   public:
    explicit position_bits(std::size_t n = 0) : bits_(n / 64 + 1), before_(n / 64 + 1) {}
    void set(std::size_t i) { bits_[i / 64] |= uint64_t{1} << (i % 64); }
    // Counts the words once every position is set.
    void finish();
    // How many positions are below i (i at most the text's length).
    int32_t rank(int32_t i) const;
    // The first position at or after from and below to, or -1.
    int32_t next(int32_t from, int32_t to) const;

   private:
    std::vector<uint64_t> bits_;
    std::vector<int32_t> before_;
  };

  std::string text;
  position_bits opens;   // every "("
  position_bits closes;  // every ")"
  std::vector<int32_t> closer;  // closer[k]: the ")" matching the k-th "(", or -1
  // The commas of depth d are comma_at[comma_from[d] .. comma_from[d + 1]),
  // ascending. Only the positions are kept: a text a million levels deep
  // must not cost a list per level.
  std::vector<int32_t> comma_from;
  std::vector<int32_t> comma_at;
  bool plain = true;  // no blanks and depth never below 0: views are exact

  explicit nest_index(std::string s);
  // The nesting depth just before position i.
  int32_t depth(int32_t i) const;
};

// A piece [l, r) of an indexed text.
struct text_ref {
  std::shared_ptr<const nest_index> idx;
  int32_t l = 0;
  int32_t r = 0;

  static text_ref of(std::string s);
  std::string_view view() const {
    return std::string_view(idx->text).substr(static_cast<std::size_t>(l),
                                              static_cast<std::size_t>(r - l));
  }
  bool empty() const { return l == r; }
};

// The parts of a call text "name(operands)": p is the first "(" (-1 when
// there is none) and operands the operand text, as call_operands defines it.
struct call_parts {
  int32_t p = -1;
  text_ref operands;
};
call_parts split_call(const text_ref& t);

// split_first on an indexed piece: the parts stay views where they can.
std::pair<text_ref, text_ref> split_first(const text_ref& t);

// Every comma of depth 0 in t, in order.
std::vector<int32_t> top_commas(const text_ref& t);

// A short, printable rendering of a text for messages.
std::string show_text(std::string_view text);

// ---- Predicates --------------------------------------------------------

using binding = std::map<std::string, t_object>;

// One node of a parsed condition. NOT has left; AND and OR have left and
// right; every other keyword is a comparison with exactly one of lname/lval
// and one of rname/rval. A node owns everything below it.
class logic {
 public:
  std::string op;
  std::unique_ptr<logic> left;
  std::unique_ptr<logic> right;
  std::unique_ptr<std::string> lname;
  std::unique_ptr<std::string> rname;
  std::unique_ptr<t_object> lval;
  std::unique_ptr<t_object> rval;

  // Parses a condition. A text without "(" where a predicate must stand
  // throws std::runtime_error.
  explicit logic(std::string text);
  explicit logic(const text_ref& text);
  ~logic();
  logic(const logic&) = delete;
  logic& operator=(const logic&) = delete;

  // True when the row bound in *row satisfies the condition. A column name
  // the binding lacks is added to it as the integer 0.
  bool verify(binding* row);

  // An operand text is an integer literal when atoi gives non-zero or every
  // character is "0" (the empty text included).
  bool isint(std::string s) const;
  static bool isint_text(std::string_view s);

 private:
  void build(const text_ref& operands);
  static void operand(const std::string& text, std::unique_ptr<std::string>& name,
                      std::unique_ptr<t_object>& value);
};

// A condition compiled against one column layout: every column name is
// resolved to a position once, so a row is tested without building a
// binding. The result is the one verify gives on the row's binding.
class bound_predicate {
 public:
  bound_predicate(const logic& root, const std::vector<std::string>& colnames);
  bool test(const std::vector<t_object>& row) const;
  bool test(const cell* row, uint32_t width) const;

 private:
  enum kind : uint8_t { k_not, k_and, k_or, k_eq, k_neq, k_lt, k_lte, k_gt, k_gte, k_true };
  struct arg {
    bool is_literal = false;             // literals and absent columns
    cell literal;
    int32_t column = -1;                 // the last column bearing the name
    int32_t alias = -1;                  // index into aliases, for shared names
  };
  struct node {
    kind k = k_true;
    int32_t a = -1;  // children of NOT/AND/OR
    int32_t b = -1;
    arg x, y;
  };
  int32_t compile(const logic& n, const std::map<std::string, std::vector<int32_t>>& where);
  arg resolve(const std::string* name, const t_object* value,
              const std::map<std::string, std::vector<int32_t>>& where);
  const cell& fetch(const arg& a, const cell* row, uint32_t width) const;
  bool eval(int32_t i, const cell* row, uint32_t width) const;

  std::vector<node> nodes_;
  std::vector<std::vector<int32_t>> aliases_;  // all positions of a shared name
  int32_t root_ = -1;
};

#endif
