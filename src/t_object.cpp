// A cell value's assignments, its order and how it is written out.
#include "t_object.h"

#include <climits>

t_object& t_object::operator=(int n) {
  ival = n;
  sval.clear();
  is_int = true;
  return *this;
}

t_object& t_object::operator=(const std::string& s) {
  ival = 0;
  sval = s;
  is_int = false;
  return *this;
}

bool operator==(const t_object& a, const t_object& b) {
  return a.ival == b.ival && a.sval == b.sval;
}
bool operator!=(const t_object& a, const t_object& b) { return !(a == b); }
bool operator<(const t_object& a, const t_object& b) {
  if (a.is_int) return a.ival < b.ival;
  return a.sval < b.sval;
}
bool operator>(const t_object& a, const t_object& b) { return b < a; }
bool operator<=(const t_object& a, const t_object& b) { return !(b < a); }
bool operator>=(const t_object& a, const t_object& b) { return !(a < b); }

std::ostream& operator<<(std::ostream& out, const t_object& v) {
  if (v.is_int) return out << v.ival;
  return out << v.sval;
}

int cell_order(const t_object& a, const t_object& b) {
  return value_order(a.ival, a.sval, b.ival, b.sval);
}

int32_t text_to_int(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  // The C isspace set in the "C" locale.
  while (i < n && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t v = 0;
  const int64_t cap = int64_t{INT_MAX} + 1;
  for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v < cap) v = v * 10 + (s[i] - '0');
  }
  if (v > cap) v = cap;
  if (negative) return static_cast<int32_t>(-v);
  return static_cast<int32_t>(v > INT_MAX ? INT_MAX : v);
}
