// The relational operators and the row order they share.
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "table.h"
#include "table_builders.h"

namespace {

using S = std::string;
using names = std::vector<std::string>;

std::string printed(const table& t) {
  std::ostringstream out;
  out << t;
  return out.str();
}

// A table from a header line and row lines, as the loader builds it.
table load(const std::string& header, const std::vector<std::string>& lines = {}) {
  table t;
  t.def(header);
  for (const auto& l : lines) t.newline(l);
  return t;
}


// ---- row order, row equality, sort and collapse ---------------------------

TEST(RowRelations, OrderAndEquality) {
  const struct {
    row x, y;
    int order;  // sign of row_order(x, y)
    bool equal;
  } cases[] = {
      {{1, 2}, {1, 3}, -1, false},
      {{1, 2}, {1, 2}, 0, true},
      {{2}, {1, 9}, 1, false},
      {{1}, {1, 0}, -1, false},  // a prefix sorts first and is never equal
      {{}, {}, 0, true},
      {{}, {S("")}, -1, false},
      {{0}, {S("")}, 0, true},
      {{S(""), 1}, {0, 1}, 0, true},
      {{5}, {S("abc")}, -1, false},
      {{S("abc")}, {5}, 1, false},
      {{-5}, {3}, -1, false},
      {{S("10")}, {S("9")}, -1, false},
      {{10}, {9}, 1, false},
      {{S("'ab c'")}, {S("'ab'")}, -1, false},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(i++));
    const int o = row_order(c.x, c.y);
    EXPECT_EQ((o > 0) - (o < 0), c.order);
    const int back = row_order(c.y, c.x);
    EXPECT_EQ((back > 0) - (back < 0), -c.order);
    EXPECT_EQ(row_equal(c.x, c.y), c.equal);
    EXPECT_EQ(row_equal(c.y, c.x), c.equal);
  }
}

TEST(SortAndCollapse, StableFirstOfEqualRunStays) {
  std::list<row> a = {{S("")}, {0}};
  sort_and_collapse(a);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_FALSE(a.front()[0].is_int);

  std::list<row> b = {{0}, {S("")}};
  sort_and_collapse(b);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(b.front()[0].is_int);

  // The equal pair is split by other rows and by a smaller row before it.
  std::list<row> c = {{5, 1}, {S(""), 7}, {-1, 0}, {0, 7}, {5, 1}, {-1, 0}};
  sort_and_collapse(c);
  ASSERT_EQ(c.size(), 3u);
  auto it = c.begin();
  EXPECT_EQ((*it)[0].ival, -1);
  ++it;
  EXPECT_FALSE((*it)[0].is_int);  // '' came before 0
  EXPECT_EQ((*it)[1].ival, 7);
  ++it;
  EXPECT_EQ((*it)[0].ival, 5);
}

// Many rows, so that a sort that is stable only on short inputs is caught:
// key k appears as (k, 0) and (k, ''), which is first depends on k.
TEST(SortAndCollapse, StableOnLargeInputs) {
  std::list<row> rows;
  std::list<row> later;
  for (int i = 0; i < 300; ++i) {
    const int k = (i * 7919) % 300;
    const bool int_first = k % 3 != 0;
    rows.push_back({k, int_first ? t_object(0) : t_object(S(""))});
    later.push_back({k, int_first ? t_object(S("")) : t_object(0)});
  }
  const table a =
      make_table("", {"k", "v"}, {"int", "int"}, std::vector<row>(rows.begin(), rows.end()));
  const table b =
      make_table("", {"k", "v"}, {"int", "int"}, std::vector<row>(later.begin(), later.end()));
  rows.splice(rows.end(), later);
  sort_and_collapse(rows);
  const table u = a + b;
  for (const std::list<row>* result : {static_cast<const std::list<row>*>(&rows), &u.rows}) {
    ASSERT_EQ(result->size(), 300u);
    int k = 0;
    for (const row& r : *result) {
      EXPECT_EQ(r[0].ival, k);
      EXPECT_EQ(r[1].is_int, k % 3 != 0) << "key " << k;
      ++k;
    }
  }
}

TEST(SortAndCollapse, MixedKindsAndWidths) {
  std::list<row> r = {{S("b")}, {3}, {S("a")}, {-2}, {}, {3, 1}, {S("a")}, {3}};
  sort_and_collapse(r);
  std::vector<row> got(r.begin(), r.end());
  const std::vector<row> want = {{}, {-2}, {3}, {3, 1}, {S("a")}, {S("b")}};
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_TRUE(row_equal(got[i], want[i])) << i;
  }
}

// ---- union and difference -------------------------------------------------

const std::vector<std::string> kR = {"3, 'c'", "1, 'a'", "3, 'c'", "2, 'b'"};

TEST(Union, Examples) {
  const table r = load("R(a int, b text)", kR);
  const table s = load("S(x int, y text)", {"2, 'b'", "0, 'z'", "9, 'q'"});
  const table empty_r = load("E(a int, b text)");
  const struct {
    const char* what;
    table result;
    const char* text;
  } cases[] = {
      {"with itself", r + r, "R(a int, b text)\n1,'a'\n2,'b'\n3,'c'\n"},
      {"with no rows", r + empty_r, "R(a int, b text)\n1,'a'\n2,'b'\n3,'c'\n"},
      {"empty first", empty_r + s, "E(a int, b text)\n0,'z'\n2,'b'\n9,'q'\n"},
      {"left schema wins", r + s, "R(a int, b text)\n0,'z'\n1,'a'\n2,'b'\n3,'c'\n9,'q'\n"},
      {"reverse", s + r, "S(x int, y text)\n0,'z'\n1,'a'\n2,'b'\n3,'c'\n9,'q'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(printed(c.result), c.text);
  }
  EXPECT_EQ(r.rows.size(), 4u);  // operands unchanged
  EXPECT_EQ(printed(r), "R(a int, b text)\n3,'c'\n1,'a'\n3,'c'\n2,'b'\n");
}

TEST(Union, RowsOfOtherWidthsAndKindsCarriedAsTheyAre) {
  const table a = load("A(n int)", {"10", "9"});
  const table b = load("B(n text, m int)", {"10 1", "9 0"});
  const table u = a + b;
  EXPECT_EQ(u.colnames, (names{"n"}));
  EXPECT_EQ(u.rows.size(), 4u);
  EXPECT_EQ(printed(u), "A(n int)\n9\n10\n10,1\n9,0\n");  // ints before strings
  const table zero = make_table("Z", {"v"}, {"int"}, {{0}});
  const table blank = make_table("B", {"v"}, {"text"}, {{S("")}});
  EXPECT_EQ((zero + blank).rows.size(), 1u);
  EXPECT_TRUE((zero + blank).rows.front()[0].is_int);
  EXPECT_FALSE((blank + zero).rows.front()[0].is_int);
}

TEST(Minus, Examples) {
  const table r = load("R(a int, b text)", kR);
  const table s = load("S(x int, y text)", {"2, 'b'", "0, 'z'"});
  const table none = load("E(a int, b text)");
  const table late = load("L(a int, b text)", {"0 'a'"});
  const struct {
    const char* what;
    table result;
    const char* text;
  } cases[] = {
      {"no rows on the right", r - none, "(a int, b text)\n1,'a'\n2,'b'\n3,'c'\n"},
      {"itself", r - r, "(a int, b text)\n"},
      {"common row removed, duplicates too", r - s, "(a int, b text)\n1,'a'\n3,'c'\n"},
      {"rows after the last right row stay", r - late, "(a int, b text)\n1,'a'\n2,'b'\n3,'c'\n"},
      {"right side columns ignored", s - r, "(x int, y text)\n0,'z'\n"},
      {"empty left", none - r, "(a int, b text)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(printed(c.result), c.text);
  }
  EXPECT_EQ(printed(r), "R(a int, b text)\n3,'c'\n1,'a'\n3,'c'\n2,'b'\n");
}

TEST(Minus, ZeroMatchesEmptyStringAndOrderOfLoadingIrrelevant) {
  const table a = make_table("", {"v", "w"}, {"int", "int"}, {{0, 1}, {2, 2}});
  const table b = make_table("", {"v", "w"}, {"text", "int"}, {{S(""), 1}});
  EXPECT_EQ(printed(a - b), "(v int, w int)\n2,2\n");
  const table shuffled = load("R(a int)", {"5", "-3", "7", "1", "-3"});
  const table sorted = load("R(a int)", {"-3", "1", "5", "7"});
  const table sub = load("T(a int)", {"7", "-3", "4"});
  EXPECT_EQ(printed(shuffled - sub), printed(sorted - sub));
  EXPECT_EQ(printed(shuffled - sub), "(a int)\n1\n5\n");
}

TEST(Minus, StringColumnsOrderBytewise) {
  const table a = load("A(s text)", {"9", "10", "x"});
  const table b = load("B(s text)", {"10"});
  EXPECT_EQ(printed(a - b), "(s text)\n9\nx\n");
  EXPECT_EQ(printed(a + a), "A(s text)\n10\n9\nx\n");
}

// ---- product ----------------------------------------------------------------

TEST(Product, NameOrderedLayout) {
  const table a = make_table("A", {"b", "a"}, {"int", "text"}, {{1, S("x")}});
  const table b = make_table("B", {"c"}, {"int"}, {{3}, {2}});
  const table p = a * b;
  EXPECT_EQ(p.name, "");
  EXPECT_EQ(p.colnames, (names{"a", "b", "c"}));
  EXPECT_EQ(p.coltypes, (names{"text", "int", "int"}));
  EXPECT_EQ(printed(p), "(a text, b int, c int)\nx,1,2\nx,1,3\n");
  EXPECT_EQ(printed(b * a), printed(p));  // disjoint names: operand order is irrelevant
  EXPECT_EQ(a.colnames, (names{"b", "a"}));
}

TEST(Product, Cases) {
  const table ab = load("T(a int, B text)", {"1 'p'", "1 'p'", "0 'q'"});
  const table b = load("U(b int)", {"5", "4"});
  const table no_rows = load("N(z int)");
  const table no_cols_no_rows;
  table no_cols_one_row;
  no_cols_one_row.rows.push_back({});
  const struct {
    const char* what;
    table result;
    const char* text;
  } cases[] = {
      {"byte order of names", ab * b, "(B text, a int, b int)\n'p',1,4\n'p',1,5\n'q',0,4\n'q',0,5\n"},
      {"right has no rows", ab * no_rows, "(B text, a int, z int)\n"},
      {"left has no rows", no_rows * ab, "(B text, a int, z int)\n"},
      {"no columns, no rows", no_cols_no_rows * b, "(b int)\n"},
      {"no columns, one empty row", b * no_cols_one_row, "(b int)\n4\n5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(printed(c.result), c.text);
  }
}

TEST(Product, SharedOrRepeatedColumnNamesThrow) {
  const table r = load("R(a int, b int)", {"1 2"});
  const table s = load("S(b int, c int)", {"3 4"});
  const table rep = load("D(x int, x int)", {"1 2"});
  const table single = load("E(y int)", {"7"});
  EXPECT_THROW(r * s, std::runtime_error);
  EXPECT_THROW(r * r, std::runtime_error);
  EXPECT_THROW(rep * single, std::runtime_error);
  EXPECT_THROW(single * rep, std::runtime_error);
  // Also when no rows would be produced.
  EXPECT_THROW(load("A(k int)") * load("B(k int)"), std::runtime_error);
}

TEST(Product, ShortRowsReadZeroSurplusCellsIgnored) {
  const table a = make_table("", {"x", "y"}, {"int", "int"}, {{1}, {2, 3, 99}});
  const table b = make_table("", {"z"}, {"int"}, {{5}});
  const table p = a * b;
  EXPECT_EQ(printed(p), "(x int, y int, z int)\n1,0,5\n2,3,5\n");
  for (const auto& r : p.rows) EXPECT_EQ(r.size(), 3u);
  EXPECT_TRUE(p.rows.front()[1].is_int);
}

// ---- projection and renaming ---------------------------------------------------

TEST(Project, Cases) {
  const table t = load("T(b int, a text, c int)", {"2 'x' 7", "1 'y' 7", "2 'x' 7", "1 'x' 7"});
  const struct {
    const char* what;
    names cols;
    const char* text;
  } cases[] = {
      {"all columns", {"b", "a", "c"}, "(b int, a text, c int)\n1,'x',7\n1,'y',7\n2,'x',7\n"},
      {"constant column", {"c"}, "(c int)\n7\n"},
      {"later column", {"a"}, "(a text)\n'x'\n'y'\n"},
      {"swapped", {"a", "b"}, "(a text, b int)\n'x',1\n'x',2\n'y',1\n"},
      {"same column twice", {"c", "c"}, "(c int, c int)\n7,7\n"},
      {"unknown names give the first column", {"zz", "", "B"}, "(b int, b int, b int)\n1,1,1\n2,2,2\n"},
      {"empty list", {}, "()\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(printed(project(t, c.cols)), c.text);
  }
  EXPECT_EQ(printed(project(load("T(a int)"), {})), "()\n");
  EXPECT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.name, "T");
}

TEST(Project, NoColumnsWithNamesThrows) {
  table t;
  t.rows.push_back({});
  EXPECT_THROW(project(t, {"a"}), std::runtime_error);
  EXPECT_THROW(project(table(), {""}), std::runtime_error);
}

TEST(Project, RepeatedColumnNameTakesTheLast) {
  const table t = load("T(a int, b int, a text)", {"1 2 'p'", "3 4 'q'"});
  const table p = project(t, {"a"});
  EXPECT_EQ(printed(p), "(a text)\n'p'\n'q'\n");
}

TEST(Project, ShortRowsReadZeroSurplusIgnored) {
  const table t = make_table("", {"a", "b"}, {"int", "int"}, {{7}, {1, 2, 3}, {}});
  const table p = project(t, {"b", "a"});
  EXPECT_EQ(printed(p), "(b int, a int)\n0,0\n0,7\n2,1\n");
  for (const auto& r : p.rows) {
    ASSERT_EQ(r.size(), 2u);
  }
  EXPECT_TRUE(p.rows.front()[0].is_int);
}

TEST(Rename, Cases) {
  const table t = load("R(a int, b text)", {"2 'x'", "1 'y'", "2 'x'"});
  const table r = rename(t, {"S", "x", "y"});
  EXPECT_EQ(printed(r), "S(x int, y text)\n2,'x'\n1,'y'\n2,'x'\n");
  EXPECT_EQ(printed(rename(t, {"S", "x", "y", "z", "w"})), printed(r));
  EXPECT_EQ(printed(rename(t, {"", "a", "a"})), "(a int, a text)\n2,'x'\n1,'y'\n2,'x'\n");
  EXPECT_EQ(t.name, "R");
  EXPECT_EQ(t.colnames, (names{"a", "b"}));
  EXPECT_EQ(printed(rename(table(), {"N"})), "N()\n");
}

TEST(Rename, TooFewNamesThrows) {
  const table t = load("R(a int, b text)", {"1 'x'"});
  EXPECT_THROW(rename(t, {"S", "x"}), std::runtime_error);
  EXPECT_THROW(rename(t, {"S"}), std::runtime_error);
  EXPECT_THROW(rename(t, {}), std::runtime_error);
  EXPECT_THROW(rename(table(), {}), std::runtime_error);
}

// ---- selection -----------------------------------------------------------------

TEST(Select, KeepsOrderAndDuplicates) {
  const table t = load("R(a int, b text)", {"3 'x'", "1 'y'", "3 'x'", "2 'z'"});
  const struct {
    const char* cond;
    const char* text;
  } cases[] = {
      {"GT(a,1)", "(a int, b text)\n3,'x'\n3,'x'\n2,'z'\n"},
      {"EQ(a,a)", "(a int, b text)\n3,'x'\n1,'y'\n3,'x'\n2,'z'\n"},
      {"LT(a,0)", "(a int, b text)\n"},
      {"NEQ(b,'x')", "(a int, b text)\n1,'y'\n2,'z'\n"},
      {"EQ(zz,0)", "(a int, b text)\n3,'x'\n1,'y'\n3,'x'\n2,'z'\n"},
      {"GT(zz,0)", "(a int, b text)\n"},
      {"AND(GTE(a,2),OR(EQ(b,'z'),EQ(b,'x')))", "(a int, b text)\n3,'x'\n3,'x'\n2,'z'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cond);
    EXPECT_EQ(printed(select(t, c.cond)), c.text);
  }
  EXPECT_EQ(printed(select(load("R(a int)"), "EQ(a,1)")), "(a int)\n");
  EXPECT_EQ(t.name, "R");
}

TEST(Select, LaterOfTwoSameNamedColumnsIsSeen) {
  const table t = load("R(a int, a int)", {"1 2", "2 1"});
  EXPECT_EQ(printed(select(t, "EQ(a,2)")), "(a int, a int)\n1,2\n");
}

TEST(Select, EmptyStringCellEqualsZero) {
  const table t = load("R(s text)", {"", "'x'", "0"});
  EXPECT_EQ(printed(select(t, "EQ(s,0)")), "(s text)\n\n");
}

TEST(Select, MalformedConditionThrows) {
  const table t = load("R(a int)", {"1"});
  EXPECT_THROW(select(t, "a"), std::runtime_error);
  EXPECT_THROW(select(load("R(a int)"), ""), std::runtime_error);
}

}  // namespace
