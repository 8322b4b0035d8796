// Cell values: construction, the mixed-kind comparison rules, printing,
// the total order used for sorting rows and the integer conversion.
#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "t_object.h"

namespace {

void expect_fields(const t_object& v, int32_t ival, const std::string& sval, bool is_int) {
  EXPECT_EQ(v.ival, ival);
  EXPECT_EQ(v.sval, sval);
  EXPECT_EQ(v.is_int, is_int);
}

std::string printed(const t_object& v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

TEST(TObject, AssignmentsResetTheUnusedField) {
  t_object v(std::string("text"));
  t_object& r1 = (v = 7);
  EXPECT_EQ(&r1, &v);
  expect_fields(v, 7, "", true);
  EXPECT_TRUE(v == t_object(7));

  const std::string s = "'q'";
  t_object& r2 = (v = s);
  EXPECT_EQ(&r2, &v);
  expect_fields(v, 0, "'q'", false);
  EXPECT_TRUE(v == t_object(std::string("'q'")));

  t_object w(99);
  w = t_object(std::string("z"));
  expect_fields(w, 0, "z", false);
}

struct cmp_case {
  t_object a, b;
  bool eq, lt, gt, le, ge;
};

TEST(TObject, AllSixOperatorsOnMixedKinds) {
  using S = std::string;
  const cmp_case cases[] = {
      // a, b, ==, <, >, <=, >=
      {1, 2, false, true, false, true, false},
      {2, 2, true, false, false, true, true},
      {-1, 0, false, true, false, true, false},
      {INT_MIN, INT_MAX, false, true, false, true, false},
      {INT_MIN, -2147483647, false, true, false, true, false},
      {S("'ab'"), S("'abc'"), false, true, false, true, false},
      {S("'ab c'"), S("'ab'"), false, true, false, true, false},  // blank < apostrophe
      {S("'B'"), S("'a'"), false, true, false, true, false},
      {S("b"), S("b"), true, false, false, true, true},
      {S("\x80"), S("a"), false, false, true, false, true},  // bytes are unsigned
      // integer 0 and the empty string are equal, in either order
      {0, S(""), true, false, false, true, true},
      {S(""), 0, true, false, false, true, true},
      // integer left: < is x < 0; string right: > and <= see "no string < ''"
      {-5, S("'abc'"), false, true, false, true, false},
      {3, S("x"), false, false, false, true, true},
      {0, S("x"), false, false, false, true, true},
      // string left: < is always false; > and <= use the integer on the right
      {S("'abc'"), -5, false, false, true, false, true},
      {S("'abc'"), 100, false, false, false, true, true},
      {S("'abc'"), 0, false, false, false, true, true},
      {S(""), 1, false, false, false, true, true},
      {S(""), -1, false, false, true, false, true},
      {5, S(""), false, false, false, true, true},
      {-5, S(""), false, true, false, true, false},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(i++) + ": " + printed(c.a) + " vs " + printed(c.b));
    EXPECT_EQ(c.a == c.b, c.eq);
    EXPECT_EQ(c.a != c.b, !c.eq);
    EXPECT_EQ(c.a < c.b, c.lt);
    EXPECT_EQ(c.a > c.b, c.gt);
    EXPECT_EQ(c.a <= c.b, c.le);
    EXPECT_EQ(c.a >= c.b, c.ge);
  }
}

TEST(TObject, Printing) {
  EXPECT_EQ(printed(t_object()), "0");
  EXPECT_EQ(printed(t_object(-17)), "-17");
  EXPECT_EQ(printed(t_object(INT_MIN)), "-2147483648");
  EXPECT_EQ(printed(t_object(std::string("'abc'"))), "'abc'");
  EXPECT_EQ(printed(t_object(std::string(""))), "");
  EXPECT_EQ(printed(t_object(std::string("a b,\t"))), "a b,\t");
  std::ostringstream hex;
  hex << std::hex << t_object(255);
  EXPECT_EQ(hex.str(), "ff");  // the stream's formatting applies
}

// Ranks in cell_order: each group is equivalent inside and ascending across.
TEST(TObject, CellOrderIsTotalAndMatchesEquality) {
  using S = std::string;
  const std::vector<std::vector<t_object>> groups = {
      {INT_MIN}, {-5}, {-1}, {0, S("")}, {1}, {INT_MAX},
      {S(" ")}, {S("'ab c'")}, {S("'ab'")}, {S("'abc'")}, {S("B")}, {S("a")}, {S("\xff")},
  };
  for (std::size_t gi = 0; gi < groups.size(); ++gi) {
    for (std::size_t gj = 0; gj < groups.size(); ++gj) {
      for (const auto& a : groups[gi]) {
        for (const auto& b : groups[gj]) {
          SCOPED_TRACE(testing::Message() << "[" << printed(a) << "] vs [" << printed(b) << "]");
          const int c = cell_order(a, b);
          EXPECT_EQ((c > 0) - (c < 0), (gi > gj) - (gi < gj));
          EXPECT_EQ(c == 0, a == b);
          EXPECT_EQ(cell_order(b, a) < 0, c > 0);
        }
      }
    }
  }
}

TEST(TObject, CellOrderAgreesWithLessWithinOneKind) {
  using S = std::string;
  const std::vector<t_object> ints = {INT_MIN, -3, 0, 2, INT_MAX};
  const std::vector<t_object> strs = {S(""), S("'a'"), S("10"), S("9"), S("a")};
  for (const auto* set : {&ints, &strs}) {
    for (const auto& a : *set) {
      for (const auto& b : *set) {
        EXPECT_EQ(cell_order(a, b) < 0, a < b) << printed(a) << " " << printed(b);
      }
    }
  }
}

struct conv_case {
  const char* text;
  int32_t value;
};

TEST(TObject, TextToIntFollowsAtoi) {
  const conv_case cases[] = {
      {"", 0},
      {"42", 42},
      {"-7", -7},
      {"+7", 7},
      {"007", 7},
      {"12ab", 12},
      {"ab12", 0},
      {"-", 0},
      {"+", 0},
      {"+-3", 0},
      {"--3", 0},
      {"- 3", 0},
      {"  15", 15},
      {"\t\n\v\f\r 8", 8},
      {"\r-9x", -9},
      {"3 4", 3},
      {"0x10", 0},
      {"'5'", 0},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},
      {"000000000000000000000012", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text '") + c.text + "'");
    EXPECT_EQ(text_to_int(c.text), c.value);
  }
  // Only the view's bytes are read.
  const std::string s = "123456";
  EXPECT_EQ(text_to_int(std::string_view(s).substr(0, 3)), 123);
}

}  // namespace
