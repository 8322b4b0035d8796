// The prover on pairs whose answer follows from one rule of the language
// each: every proof is checked by the independent checker, every candidate
// database is run through the engine and must separate the two queries.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "checker.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine_runs.h"
#include "prove/decide.h"

namespace {

const char* const kTables =
    "R(a int, b int)\n"
    "\n"
    "S(c int, d text)\n"
    "\n"
    "E\n";  // a table without columns

struct pair_case {
  const char* first;
  const char* second;
  prove::verdict want;
  bool rows_only = false;
  const char* reason = "";  // undecided: the start of the reason
};

// Test names show the pair.
void PrintTo(const pair_case& c, std::ostream* os) {
  *os << c.first << " vs " << c.second << (c.rows_only ? " (rows only)" : "");
}

class DecideTest : public ::testing::TestWithParam<pair_case> {};

TEST_P(DecideTest, Verdict) {
  const pair_case& c = GetParam();
  const std::string input = std::string(c.first) + "\n" + kTables;
  table_map tables;
  load_tables(input, tables, false);
  const plan a = parse_query(c.first, tables);
  const plan b = parse_query(c.second, tables);
  prove::decide_options o;
  o.rows_only = c.rows_only;
  const prove::decision d = prove::decide(a, b, o);
  ASSERT_EQ(static_cast<int>(d.result), static_cast<int>(c.want)) << d.reason;
  switch (d.result) {
    case prove::verdict::proved:
      EXPECT_EQ(proofcheck::check(a, b, c.rows_only, d.certificate), "") << d.certificate;
      break;
    case prove::verdict::differs: {
      const std::string db = proofrun::candidate_input(c.first, d);
      EXPECT_TRUE(proofrun::run_pair(db, c.first, c.second, c.rows_only).differs()) << db;
      break;
    }
    case prove::verdict::undecided:
      EXPECT_EQ(d.reason.rfind(c.reason, 0), 0u) << d.reason;
      break;
  }
}

using prove::verdict;

INSTANTIATE_TEST_SUITE_P(
    Rules, DecideTest,
    ::testing::Values(
        // Conditions split, merged, reordered, mirrored, negated.
        pair_case{"select(select(R,GT(a,1)),LT(b,3))", "select(R,AND(LT(b,3),GT(a,1)))", verdict::proved},
        pair_case{"select(R,NOT(LT(a,b)))", "select(R,GTE(a,b))", verdict::proved},
        pair_case{"select(R,NEQ(a,b))", "select(R,OR(LT(a,b),GT(a,b)))", verdict::proved},
        pair_case{"select(R,NEQ(a,b))", "select(R,LT(a,b))", verdict::differs},
        // Integers are discrete and 32 bits wide; strings are not discrete.
        pair_case{"select(R,GT(a,1))", "select(R,GTE(a,2))", verdict::proved},
        pair_case{"select(R,GT(a,1))", "select(R,GTE(a,1))", verdict::differs},
        pair_case{"select(R,AND(GT(a,1),LT(a,3)))", "select(R,EQ(a,2))", verdict::proved},
        pair_case{"select(R,GT(a,2147483646))", "select(R,EQ(a,2147483647))", verdict::proved},
        pair_case{"select(R,GT(a,2147483647))", "select(R,EQ(1,2))", verdict::proved},
        pair_case{"select(R,LT(a,-2147483647))", "select(R,EQ(a,-2147483648))", verdict::proved},
        pair_case{"select(S,GT(d,'a'))", "select(S,GTE(d,'b'))", verdict::differs},
        // A name the operand lacks reads as the integer 0; an unknown
        // keyword is true and NOT of it false.
        pair_case{"select(R,EQ(zz,0))", "select(R,EQ(1,1))", verdict::proved},
        pair_case{"select(R,EQ(a,zz))", "select(R,EQ(a,0))", verdict::proved},
        pair_case{"select(R,FOO(a,1))", "select(R,eq(1,2))", verdict::proved},
        pair_case{"select(R,NOT(FOO(a,1)))", "select(R,EQ(1,2))", verdict::proved},
        // Integers against strings: the string is the integer 0, the integer
        // the empty string; string literals are never empty, string cells may be.
        pair_case{"select(S,EQ(c,'x'))", "select(S,EQ(1,2))", verdict::proved},
        pair_case{"select(S,LT(d,5))", "select(S,EQ(1,2))", verdict::proved},
        pair_case{"select(S,LTE(c,'x'))", "select(S,EQ(1,1))", verdict::proved},
        pair_case{"select(S,GTE(c,d))", "select(S,GTE(c,0))", verdict::proved},
        pair_case{"select(S,EQ(d,0))", "select(S,EQ(1,2))", verdict::differs},
        pair_case{"select(S,EQ(c,d))", "select(S,AND(EQ(c,0),EQ(d,0)))", verdict::proved},
        // Products lay out columns by name; a self-join on every column is
        // the table's distinct rows.
        pair_case{"product(R,S)", "product(S,R)", verdict::proved},
        pair_case{"project(select(product(R,rename(R,T(a2,b2))),AND(EQ(a,a2),EQ(b,b2))),a,b)", "project(R,a,b)",
                  verdict::proved},
        pair_case{"project(select(product(R,rename(R,T(a2,b2))),EQ(a,a2)),a,b)", "project(R,a,b)", verdict::proved},
        pair_case{"project(select(product(R,rename(R,T(a2,b2))),EQ(a,b2)),a,b)", "project(R,a,b)", verdict::differs},
        // project takes the first column for an unknown name, the last of
        // columns sharing one.
        pair_case{"project(R,zz)", "project(R,a)", verdict::proved},
        pair_case{"project(rename(R,X(k,k)),k)", "project(R,b)", verdict::proved, true},
        pair_case{"project(rename(R,X(k,k)),k)", "project(R,a)", verdict::differs, true},
        // Unions of selections, OR, and minus with no projection above it.
        pair_case{"project(select(R,OR(EQ(a,1),EQ(a,2))),a)",
                  "union(project(select(R,EQ(a,1)),a),project(select(R,EQ(a,2)),a))", verdict::proved},
        pair_case{"minus(project(R,a),project(S,c))", "minus(project(R,a),rename(project(S,c),X(a)))", verdict::proved},
        pair_case{"select(minus(project(R,a,b),project(select(R,GT(a,1)),a,b)),LT(b,5))",
                  "minus(project(select(R,LT(b,5)),a,b),project(select(R,GT(a,1)),a,b))", verdict::proved},
        pair_case{"minus(project(R,a),project(S,c))", "minus(project(R,a),project(select(S,GT(c,0)),c))",
                  verdict::differs},
        pair_case{"minus(project(R,a),minus(project(R,a),project(S,c)))",
                  "minus(project(R,a),minus(project(R,a),project(S,c)))", verdict::proved},
        // Rows kept in a table's order with repeats against sorted rows.
        pair_case{"select(R,GT(a,1))", "select(select(R,GT(a,0)),NEQ(a,1))", verdict::proved},
        pair_case{"select(R,GT(a,1))", "project(select(R,GT(a,1)),a,b)", verdict::differs},
        pair_case{"select(R,EQ(1,2))", "minus(project(R,a,b),project(R,a,b))", verdict::proved},
        pair_case{"select(S,GT(c,1))", "select(R,GT(a,1))", verdict::differs, true},
        // Headers: compared unless only rows count.
        pair_case{"project(R,a)", "rename(project(R,a),X(z))", verdict::differs},
        pair_case{"project(R,a)", "rename(project(R,a),X(z))", verdict::proved, true},
        pair_case{"project(R,a)", "project(S,d)", verdict::differs, true},
        pair_case{"product(R,E)", "product(E,R)", verdict::proved},
        // Failures, and what the prover does not model.
        pair_case{"project(R,a)", "project(product(R,R),a)", verdict::differs},
        pair_case{"project(product(R,R),a)", "project(product(R,R),a)", verdict::undecided, false, "both queries fail"},
        pair_case{"project(minus(R,select(R,EQ(a,1))),b)", "project(select(R,NEQ(a,1)),b)", verdict::undecided, false,
                  "outside the fragment: minus under a projection"},
        pair_case{"union(project(R,a),project(S,d))", "union(project(R,a),project(S,d))", verdict::undecided, false,
                  "outside the fragment: union of operands whose columns differ"}));

TEST(Decide, GivesUpAtItsBound) {
  // Proved only case by case: a < b, then b < a.
  const std::string q1 = "select(R,NEQ(a,b))";
  const std::string q2 = "select(R,OR(LT(a,b),GT(a,b)))";
  table_map tables;
  load_tables(q1 + "\n" + kTables, tables, false);
  prove::decide_options o;
  o.preorder_limit = 1;
  const prove::decision d = prove::decide(parse_query(q1, tables), parse_query(q2, tables), o);
  EXPECT_EQ(static_cast<int>(d.result), static_cast<int>(verdict::undecided));
  EXPECT_EQ(d.reason, "gave up after 1 preorder");
}

TEST(Decide, DeepQueriesAreLeftUndecided) {
  std::string q = "R";
  for (int i = 0; i < 150; ++i) q = "select(" + q + ",EQ(a,1))";
  table_map tables;
  load_tables(q + "\n" + kTables, tables, false);
  const plan p = parse_query(q, tables);
  const prove::decision d = prove::decide(p, p);
  EXPECT_EQ(static_cast<int>(d.result), static_cast<int>(verdict::undecided));
  EXPECT_EQ(d.reason.rfind("outside the fragment: a query nested", 0), 0u) << d.reason;
}

}  // namespace
