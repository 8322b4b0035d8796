// A cell value: an integer or a string.
#ifndef RELALG_T_OBJECT_H
#define RELALG_T_OBJECT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// The field a value's kind does not use holds its neutral content (ival 0 in
// a string, sval empty in an integer); equality compares both fields and
// relies on that.
class t_object {
 public:
  int32_t ival;
  std::string sval;
  bool is_int;

  t_object() : ival(0), is_int(true) {}
  t_object(int n) : ival(n), is_int(true) {}  // NOLINT: implicit by design
  t_object(std::string s) : ival(0), sval(std::move(s)), is_int(false) {}  // NOLINT
  t_object(const t_object&) = default;
  t_object(t_object&&) noexcept = default;
  t_object& operator=(const t_object&) = default;
  t_object& operator=(t_object&&) noexcept = default;
  t_object& operator=(int n);
  t_object& operator=(const std::string& s);
};

// Equality looks at both fields, never at is_int: the integer 0 equals the
// empty string. The ordering consults only the left operand's kind; the
// other four operators are derived from == and < and nothing else.
bool operator==(const t_object& a, const t_object& b);
bool operator!=(const t_object& a, const t_object& b);
bool operator<(const t_object& a, const t_object& b);
bool operator>(const t_object& a, const t_object& b);
bool operator<=(const t_object& a, const t_object& b);
bool operator>=(const t_object& a, const t_object& b);
std::ostream& operator<<(std::ostream& out, const t_object& v);

// A total order used to sort rows. It agrees with < on two integers and on
// two strings; across kinds the empty string ranks as the integer 0 and every
// other string after every integer. Unlike <, it is a strict weak order for
// any mix of kinds, and two cells are equivalent exactly when they are ==.
// Returns <0, 0 or >0.
int cell_order(const t_object& a, const t_object& b);

// The same order on the two fields that decide it: the integer and the text
// (the field a value's kind does not use holds 0 or ""). Integers and the
// empty string rank by number; other strings follow, in byte order.
inline int value_order(int32_t a_int, std::string_view a_text, int32_t b_int,
                       std::string_view b_text) {
  if (a_text.empty() && b_text.empty()) return (a_int > b_int) - (a_int < b_int);
  if (a_text.empty() != b_text.empty()) return a_text.empty() ? -1 : 1;
  const int c = a_text.compare(b_text);
  return (c > 0) - (c < 0);
}

// The C library's atoi (leading isspace, optional sign, decimal digits),
// except that values beyond the 32-bit range are clamped to its nearest end.
int32_t text_to_int(std::string_view s);

#endif
