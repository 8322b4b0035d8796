// A plain evaluation of relalg inputs, written from the language's rules
// alone and as simply as possible: lines read one by one, rows as lists of
// value vectors, a stable sort, a recursive reading of the query text. It
// is slow and obviously right, and tests hold the engine's output against
// it byte for byte. It yields only the output bytes and the exit status
// (0, or 1 for a run that fails), never a message.
#ifndef RELALG_REFERENCE_H
#define RELALG_REFERENCE_H

#include <cstdint>
#include <istream>
#include <list>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ref {

// A run that fails: status 1, the echo and no result table.
struct failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A cell: an integer or a string. The unused field stays neutral (0 or
// empty), which equality relies on.
struct value {
  int32_t ival = 0;
  std::string sval;
  bool is_int = true;

  static value of_int(int32_t n) { return value{n, {}, true}; }
  static value of_text(std::string s) { return value{0, std::move(s), false}; }
};

// Predicate comparisons: == compares both fields; < looks at the left
// operand's kind only.
bool operator==(const value& a, const value& b);
bool operator<(const value& a, const value& b);

// The order rows are sorted by, total across kinds: negative integers, then
// the integer 0 and the empty string (one value), then positive integers,
// then other strings by byte value. Returns <0, 0 or >0.
int sort_compare(const value& a, const value& b);

// C's atoi, with values beyond 32 bits clamped.
int32_t to_int(std::string_view text);

using row = std::vector<value>;

struct table {
  std::string name;
  std::vector<std::string> colnames;
  std::vector<std::string> coltypes;
  std::list<row> rows;
};

// The header line "NAME(col type, ...)" and one row line of table t.
table parse_header(const std::string& line);
row parse_row(const table& t, const std::string& line);

// The printed form: header line and one line per row, each ending "\n".
std::string print(const table& t);

// Lexicographic by sort_compare; a prefix sorts first.
int row_compare(const row& x, const row& y);
bool row_equal(const row& x, const row& y);
// Stable sort, then the first row of every run of equal rows stays.
void sort_and_collapse(std::list<row>& rows);

// A parsed condition.
struct predicate;
struct predicate_deleter {
  void operator()(predicate* p) const;
};
using predicate_ptr = std::unique_ptr<predicate, predicate_deleter>;
// Throws failure for a text, or a NOT/AND/OR operand, without "(".
predicate_ptr parse_predicate(const std::string& text);
bool verify(const predicate& p, std::map<std::string, value>& binding);

// The operators. Each throws failure where the program refuses.
table op_union(const table& a, const table& b);
table op_minus(const table& a, const table& b);
table op_product(const table& a, const table& b);
table op_project(const table& t, const std::vector<std::string>& cols);
table op_rename(const table& t, const std::vector<std::string>& names);
table op_select(const table& t, const std::string& condition);

// The operations read with --extended (join is select over product). Each
// throws failure where the program refuses: a column name repeated in an
// operand (njoin, divide), a divisor column the dividend lacks (divide).
table op_njoin(const table& a, const table& b);
table op_intersect(const table& a, const table& b);
table op_divide(const table& a, const table& b);

// The text inside the outermost parentheses of t, from its first "(", with
// blanks removed, by the nesting rules; and the three argument splitters.
std::string inner_text(const std::string& t);
std::pair<std::string, std::string> param2(const std::string& a);
std::pair<std::string, std::vector<std::string>> paramproj(const std::string& a);
std::pair<std::string, std::vector<std::string>> paramren(const std::string& a);

using catalog = std::map<std::string, table>;
// With `extended`, join, njoin, intersect and divide are operations too.
table evaluate(const catalog& db, const std::string& text, bool extended = false);

// The whole program over one input.
struct outcome {
  int status = 0;
  std::string output;
};
outcome run(std::istream& in, bool extended = false);
outcome run_text(std::string_view input, bool extended = false);

}  // namespace ref

#endif
