// The query interpreter: argument splitters, dispatch and evaluation.
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "algo.h"

namespace {

using names = std::vector<std::string>;

std::string printed(const table& t) {
  std::ostringstream out;
  out << t;
  return out.str();
}

database catalog() {
  database db;
  db.addtable("R(a int, b text)");
  db.addline("R", "2, 'y'");
  db.addline("R", "1, 'x'");
  db.addtable("S(a int, b text)");
  db.addline("S", "3, 'z'");
  db.addline("S", "1, 'x'");
  db.addtable("SU(a int, b text)");
  db.addline("SU", "7, 'su'");
  db.addtable("U(a int, b text)");
  db.addline("U", "2, 'y'");
  db.addtable("union(a int, b text)");
  db.addline("union", "5, 'u'");
  db.addtable("T(c int)");
  db.addline("T", "8");
  db.addtable("R x(a int)");
  db.addline("R x", "4");
  return db;
}

TEST(AlgoSplit, Param2) {
  algo a{database()};
  const struct {
    const char* text;
    const char* first;
    const char* second;
  } cases[] = {
      {"R,S", "R", "S"},
      {"union(R,S),T", "union(R,S)", "T"},
      {"R,S,T", "R", "ST"},
      {"R", "R", ""},
      {"", "", ""},
      {",", "", ""},
      {"R,", "R", ""},
      {",S", "", "S"},
      {"R,f(a,b),g(c)", "R", "f(a,b)g(c)"},
      {"a)b,c", "a)b,c", ""},  // depth -1: the comma is not at depth 0
      {"R,EQ(a,'x,y')", "R", "EQ(a,'x,y')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text '") + c.text + "'");
    const auto [first, second] = a.param2(c.text);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
  }
}

TEST(AlgoSplit, ParamprojAndParamren) {
  algo a{database()};
  const struct {
    bool ren;
    const char* text;
    const char* expr;
    names list;
  } cases[] = {
      {false, "E,a,b", "E", {"a", "b"}},
      {false, "union(R,S),a", "union(R,S)", {"a"}},
      {false, "E", "E", {""}},
      {false, "E,a,", "E", {"a", ""}},
      {false, "E,,a", "E", {"", "a"}},
      {false, "E,f(a,b)", "E", {"f(a,b)"}},
      {false, "", "", {""}},
      {false, "f(x,y),g(1,2),c", "f(x,y)", {"g(1,2)", "c"}},
      {true, "E,N(a,b)", "E", {"N", "a", "b"}},
      {true, "E,N,(a,b)", "E", {"N", "a", "b"}},
      {true, "E,(a,b)", "E", {"", "a", "b"}},
      {true, "E,N", "E", {}},
      {true, "E,N(a,b)c", "E", {"N", "a", "b"}},
      {true, "E,N(a,b", "E", {"N", "a"}},
      {true, "E,N(a,(b))", "E", {"N", "a", "", "b", ""}},
      {true, "E", "E", {}},
      {true, "E,x,y", "E", {}},
      {true, "union(R,S),P(x,y,z)", "union(R,S)", {"P", "x", "y", "z"}},
      {true, "E,N()", "E", {"N", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ren ? "paramren '" : "paramproj '") + c.text + "'");
    const auto [expr, list] = c.ren ? a.paramren(c.text) : a.paramproj(c.text);
    EXPECT_EQ(expr, c.expr);
    EXPECT_EQ(list, c.list);
  }
}

TEST(AlgoInterpreter, Queries) {
  algo a(catalog());
  const struct {
    const char* query;
    const char* text;
  } cases[] = {
      {"R", "R(a int, b text)\n2,'y'\n1,'x'\n"},
      {"R x", "R x(a int)\n4\n"},
      {"union(R,S)", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"union( R , S )", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"union(R,S)xyz", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"union(R,S))", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"union(R,S)\r", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"union(R,S)(U)", "R(a int, b text)\n1,'x'\n2,'y'\n7,'su'\n"},
      {"union(S,union(R,S)(U))", "S(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n7,'su'\n"},
      {"union(R,union(S,U)xyz)", "R(a int, b text)\n1,'x'\n2,'y'\n3,'z'\n"},
      {"select(R,OR(EQ(a,5),EQ(a,1),EQ(a,2)))", "(a int, b text)\n1,'x'\n"},
      {"union(union,R)", "union(a int, b text)\n1,'x'\n2,'y'\n5,'u'\n"},
      {"union(R,S,U)", "R(a int, b text)\n1,'x'\n2,'y'\n7,'su'\n"},
      {"minus(union(R,S),U)", "(a int, b text)\n1,'x'\n3,'z'\n"},
      {"minus(R,S)", "(a int, b text)\n2,'y'\n"},
      {"product(R,T)", "(a int, b text, c int)\n1,'x',8\n2,'y',8\n"},
      {"project(R,b)", "(b text)\n'x'\n'y'\n"},
      {"project(union(R,S),a)", "(a int)\n1\n2\n3\n"},
      {"project(R)", "(a int)\n1\n2\n"},
      {"project(R,b,)", "(b text, a int)\n'x',1\n'y',2\n"},
      {"rename(R,N(x,y))", "N(x int, y text)\n2,'y'\n1,'x'\n"},
      {"rename(R,N,(x,y))", "N(x int, y text)\n2,'y'\n1,'x'\n"},
      {"rename(R,(x,y))", "(x int, y text)\n2,'y'\n1,'x'\n"},
      {"rename(R,N(x,y)z)", "N(x int, y text)\n2,'y'\n1,'x'\n"},
      {"select(R,GT(a,1))", "(a int, b text)\n2,'y'\n"},
      {"select(R, EQ(b, 'x'))", "(a int, b text)\n1,'x'\n"},
      {"project(select(R,GT(a,1)),b)", "(b text)\n'y'\n"},
      {"select(rename(product(R,T),P(p,q,r)),EQ(r,8))", "(p int, q text, r int)\n1,'x',8\n2,'y',8\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("query '") + c.query + "'");
    EXPECT_EQ(printed(a.interpreter(c.query)), c.text);
  }
}

TEST(AlgoInterpreter, BlanksInsideParenthesesRemovedFromConstants) {
  database db;
  db.addtable("R(a int, b text)");
  db.addline("R", "1 'pq'");
  db.addline("R", "2 'p q'");
  algo a(db);
  EXPECT_EQ(printed(a.interpreter("select(R,EQ(b,'p q'))")), "(a int, b text)\n1,'pq'\n");
}

TEST(AlgoInterpreter, EvaluationLeavesCatalogUnchanged) {
  algo a(catalog());
  const table first = a.interpreter("union(R,S)");
  const table again = a.interpreter("union(R,S)");
  EXPECT_EQ(printed(first), printed(again));
  EXPECT_EQ(printed(a.interpreter("R")), "R(a int, b text)\n2,'y'\n1,'x'\n");
  table copy = a.interpreter("R");
  copy.rows.clear();
  EXPECT_EQ(a.interpreter("R").rows.size(), 2u);
}

std::string failure(algo& a, const std::string& query) {
  try {
    (void)a.interpreter(query);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "<no exception>";
}

TEST(AlgoInterpreter, UndefinedQueriesThrow) {
  algo a(catalog());
  const struct {
    const char* query;
    const char* message;
  } cases[] = {
      {"Union(R,S)", "unknown operation 'Union'"},
      {"union (R,S)", "unknown operation 'union '"},
      {" union(R,S)", "unknown operation ' union'"},
      {"(R)", "unknown operation ''"},
      {"union(R,Union(R,S))", "unknown operation 'Union'"},
      {"Rx", "no table named 'Rx'"},
      {"R ", "no table named 'R '"},
      {"union(R,Rx)", "no table named 'Rx'"},
      {"project(Rx,a)", "no table named 'Rx'"},
      {"union(R,)", "no table named ''"},
      {"", "no table named ''"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("query '") + c.query + "'");
    EXPECT_NE(failure(a, c.query).find(c.message), std::string::npos) << failure(a, c.query);
  }
  EXPECT_THROW(a.interpreter("product(R,S)"), std::runtime_error);    // shared names
  EXPECT_THROW(a.interpreter("rename(R,N)"), std::runtime_error);     // empty name list
  EXPECT_THROW(a.interpreter("select(R,a)"), std::runtime_error);     // not a predicate
  // Failing evaluations leave the catalog intact.
  EXPECT_FALSE(a.db.istable("Rx"));
  EXPECT_FALSE(a.db.istable(""));
}

}  // namespace
