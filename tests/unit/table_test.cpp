// Header-line and row-line parsing, and the printed form of a table.
#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "table.h"
#include "table_builders.h"

namespace {

using S = std::string;
using names = std::vector<std::string>;

table defined(const std::string& header) {
  table t;
  t.def(header);
  return t;
}

std::string printed(const table& t) {
  std::ostringstream out;
  out << t;
  return out.str();
}

struct def_case {
  const char* header;
  const char* name;
  names cols;
  names types;
};

TEST(TableDef, HeaderLines) {
  const def_case cases[] = {
      {"R(a int, b text)", "R", {"a", "b"}, {"int", "text"}},
      {"R (a int)", "R ", {"a"}, {"int"}},
      {" R(a int)", " R", {"a"}, {"int"}},
      {"R(a int,  b int)", "R", {"a", "b"}, {"int", "int"}},
      {"R(  a    int   )", "R", {"a"}, {"int"}},
      {"R(b int extra)", "R", {"b"}, {"int"}},
      {"R(b)", "R", {"b"}, {""}},
      {"R(a INT, b integer)", "R", {"a", "b"}, {"INT", "integer"}},
      {"R(b char(20), c int)", "R", {"b", "c"}, {"char(20)", "int"}},
      {"R(a (x) int)", "R", {"a"}, {"(x)"}},
      // a comma ends a definition even inside parentheses
      {"R(a dec(5,2))", "R", {"a", "2"}, {"dec(5", ""}},
      {"R()", "R", {""}, {""}},
      {"R( )", "R", {""}, {""}},
      {"R(a int,)", "R", {"a", ""}, {"int", ""}},
      {"R(,)", "R", {"", ""}, {"", ""}},
      {"R(a int, , b int)", "R", {"a", "", "b"}, {"int", "", "int"}},
      {"R(a int) trailing (b int)", "R", {"a"}, {"int"}},
      {"R(a int)(b int)", "R", {"a"}, {"int"}},
      {"(a int)", "", {"a"}, {"int"}},
      {"R(a\tint)", "R", {"a\tint"}, {""}},
      {"R(a int\r)", "R", {"a"}, {"int\r"}},
      {"R(a int)\r", "R", {"a"}, {"int"}},
      {"R(a int, a text)", "R", {"a", "a"}, {"int", "text"}},
      {"R((a int)", "R", {"(a"}, {"int)"}},
      // no "(": the whole line is the name and there are no columns
      {"R", "R", {}, {}},
      {"R a int", "R a int", {}, {}},
      {"   ", "   ", {}, {}},
      {"R)", "R)", {}, {}},
      // "(" without a closing ")" at depth 0: the list ends with the line
      {"R(a int", "R", {"a"}, {"int"}},
      {"R(a int,", "R", {"a", ""}, {"int", ""}},
      {"R(", "R", {""}, {""}},
      {"R(a int, b char(3", "R", {"a", "b"}, {"int", "char(3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("header '") + c.header + "'");
    const table t = defined(c.header);
    EXPECT_EQ(t.name, c.name);
    EXPECT_EQ(t.getname(), c.name);
    EXPECT_EQ(t.colnames, c.cols);
    EXPECT_EQ(t.coltypes, c.types);
    EXPECT_TRUE(t.rows.empty());
  }
}

struct row_case {
  const char* line;
  row cells;
};

TEST(TableNewline, RowLinesForIntAndTextColumns) {
  const row_case cases[] = {
      {"1, 'x'", {1, S("'x'")}},
      {"1 'x'", {1, S("'x'")}},
      {",,1,,'x',,", {1, S("'x'")}},
      {"  1  ,  'x'  ", {1, S("'x'")}},
      {"1, 'x y', 7", {1, S("'x y'")}},
      {"1, 'x, y'", {1, S("'x, y'")}},
      {"1", {1, S("")}},
      {"", {0, S("")}},
      {"   ", {0, S("")}},
      {",,,", {0, S("")}},
      {"abc, 'x", {0, S("'x")}},
      {"'a,b' c", {0, S("c")}},
      {"1 'open value, more", {1, S("'open value, more")}},
      {"1 'a'b' c", {1, S("'a'b'")}},
      {"1 'a b'c d", {1, S("'a b'c")}},
      {"1 x'y z", {1, S("x'y z")}},
      {"1 ''", {1, S("''")}},
      {"1\t2 x", {1, S("x")}},  // a tab is no separator: "1\t2" is one value
      {"1 a\tb", {1, S("a\tb")}},
      {"1 x\r", {1, S("x\r")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("row '") + c.line + "'");
    table t = defined("R(a int, b text)");
    t.newline(c.line);
    ASSERT_EQ(t.rows.size(), 1u);
    const row& r = t.rows.front();
    ASSERT_EQ(r.size(), c.cells.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
      EXPECT_EQ(r[i].is_int, c.cells[i].is_int) << "cell " << i;
      EXPECT_EQ(r[i].ival, c.cells[i].ival) << "cell " << i;
      EXPECT_EQ(r[i].sval, c.cells[i].sval) << "cell " << i;
    }
  }
}

TEST(TableNewline, IntColumnConversion) {
  const struct {
    const char* value;
    int32_t expected;
  } cases[] = {
      {"+5", 5},          {"-3", -3},       {"12ab", 12},        {"'x'", 0},
      {"'7'", 0},         {"007", 7},       {"\t9", 9},          {"-", 0},
      {"2147483647", INT_MAX},            {"-2147483648", INT_MIN},
      {"99999999999", INT_MAX},           {"-99999999999", INT_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("value '") + c.value + "'");
    table t = defined("R(a int)");
    t.newline(c.value);
    ASSERT_EQ(t.rows.size(), 1u);
    ASSERT_EQ(t.rows.front().size(), 1u);
    const t_object& v = t.rows.front()[0];
    EXPECT_TRUE(v.is_int);
    EXPECT_EQ(v.ival, c.expected);
    EXPECT_EQ(v.sval, "");
  }
}

TEST(TableNewline, OnlyExactIntTypeWordMakesIntegers) {
  table t = defined("R(a int, b INT, c integer, d, e int )");
  t.newline("1 2 3 4 5");
  ASSERT_EQ(t.rows.size(), 1u);
  const row& r = t.rows.front();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_TRUE(r[0].is_int);
  EXPECT_EQ(r[0].ival, 1);
  for (int i = 1; i < 4; ++i) {
    EXPECT_FALSE(r[i].is_int) << i;
    EXPECT_EQ(r[i].sval, std::to_string(i + 1)) << i;
    EXPECT_EQ(r[i].ival, 0) << i;
  }
  EXPECT_TRUE(r[4].is_int);  // "e int " has the type word int
}

TEST(TableNewline, NoColumnsGivesEmptyRowAndAppendRowMatches) {
  table t = defined("R");
  t.newline("1 2 3");
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_TRUE(t.rows.front().empty());

  table a = defined("R(a int, b text, c)");
  table b = a;
  for (const char* line : {"1, 'x y', z", ",,", "'a,b' c", "-4 ''"}) {
    a.newline(line);
    b.append_row(line);
  }
  EXPECT_EQ(printed(a), printed(b));
}

struct print_case {
  const char* what;
  table t;
  const char* text;
};


TEST(TablePrint, PrintedForms) {
  const print_case cases[] = {
      {"two rows", make_table("R", {"a", "b"}, {"int", "text"}, {{1, S("'x'")}, {2, S("'y'")}}),
       "R(a int, b text)\n1,'x'\n2,'y'\n"},
      {"no rows", make_table("R", {"a"}, {"int"}, {}), "R(a int)\n"},
      {"empty name", make_table("", {"a"}, {"int"}, {{-5}}), "(a int)\n-5\n"},
      {"no columns", make_table("R", {}, {}, {{}, {}}), "R()\n\n\n"},
      {"default table", table(), "()\n"},
      {"empty type word", make_table("R", {"a", "b"}, {"", "int"}, {}), "R(a , b int)\n"},
      {"empty strings", make_table("R", {"a", "b", "c"}, {"", "", ""}, {{S(""), S("x"), S("")}}),
       "R(a , b , c )\n,x,\n"},
      {"duplicates in list order", make_table("R", {"a"}, {"int"}, {{3}, {1}, {3}}),
       "R(a int)\n3\n1\n3\n"},
      {"row wider and narrower than the header", make_table("R", {"a"}, {"int"}, {{1, 2, S("z")}, {}}),
       "R(a int)\n1,2,z\n\n"},
      {"verbatim bytes", make_table("R b", {"a b"}, {"t,t"}, {{S("x, y\t")}}),
       "R b(a b t,t)\nx, y\t\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(printed(c.t), c.text);
  }
}

TEST(TablePrint, ChunkedOutputEqualsStreamOutput) {
  table t = make_table("Big", {"k", "v"}, {"int", "text"}, {});
  for (int i = 0; i < 200; ++i) t.rows.push_back({i * 37 - 500, S("'v" + std::to_string(i) + "'")});
  const std::string expected = printed(t);
  for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{64},
                            std::size_t{1} << 20}) {
    SCOPED_TRACE("chunk " + std::to_string(chunk));
    std::string collected;
    std::string buf = "prefix|";
    int spills = 0;
    print_table(
        t, buf,
        [&](std::string& b) {
          collected += b;
          b.clear();
          ++spills;
        },
        chunk);
    collected += buf;
    EXPECT_EQ(collected, "prefix|" + expected);
    if (chunk <= 64) {
      EXPECT_GT(spills, 1);
    }
  }
}

TEST(VectorTemplates, ProjectGathersAndSwapScatters) {
  const names v = {"a", "b", "c"};
  EXPECT_EQ(vector_project(v, {2, 0}), (names{"c", "a"}));
  EXPECT_EQ(vector_project(v, {1, 1, 1}), (names{"b", "b", "b"}));
  EXPECT_TRUE(vector_project(v, {}).empty());
  EXPECT_EQ(vector_swap(v, {2, 0, 1}), (names{"b", "c", "a"}));
  EXPECT_EQ(vector_swap(v, {0, 1, 2}), v);
  // Positions no entry names keep the copied value; later entries win.
  EXPECT_EQ(vector_swap(v, {1}), (names{"a", "a", "c"}));
  EXPECT_EQ(vector_swap(v, {0, 0}), (names{"b", "b", "c"}));
  const row r = {1, S("x")};
  const row swapped = vector_swap(r, {1, 0});
  EXPECT_EQ(swapped[0].sval, "x");
  EXPECT_EQ(swapped[1].ival, 1);
}

}  // namespace
