// Selection conditions: parsing into a tree, operand classification,
// evaluation against a row binding, and the column-resolved evaluator.
#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database.h"
#include "engine/parser.h"
#include "engine/predicate.h"
#include "engine/query_text.h"
#include "logic.h"
#include "plain_rules.h"

namespace {

using S = std::string;
using row = std::vector<t_object>;

std::string operand(const std::unique_ptr<std::string>& name, const std::unique_ptr<t_object>& value) {
  if (name && value) return "<both>";
  if (name) return "n:" + *name;
  if (!value) return "<none>";
  if (value->is_int) return value->sval.empty() ? "i:" + std::to_string(value->ival) : "<bad int>";
  return value->ival == 0 ? "s:" + value->sval : "<bad string>";
}

// A compact rendering of a tree that also checks which fields each node sets.
std::string shape(const logic& n) {
  if (n.op == "NOT") {
    if (!n.left || n.right || n.lname || n.rname || n.lval || n.rval) return "<bad NOT>";
    return "NOT{" + shape(*n.left) + "}";
  }
  if (n.op == "AND" || n.op == "OR") {
    if (!n.left || !n.right || n.lname || n.rname || n.lval || n.rval) return "<bad " + n.op + ">";
    return n.op + "{" + shape(*n.left) + ";" + shape(*n.right) + "}";
  }
  if (n.left || n.right) return "<bad comparison>";
  return n.op + "[" + operand(n.lname, n.lval) + "," + operand(n.rname, n.rval) + "]";
}

struct shape_case {
  const char* text;
  const char* tree;
};

const shape_case kShapes[] = {
    {"EQ(a,1)", "EQ[n:a,i:1]"},
    {"EQ(1,a)", "EQ[i:1,n:a]"},
    {"EQ(a,b)", "EQ[n:a,n:b]"},
    {"EQ('x','x')", "EQ[s:'x',s:'x']"},
    {"AND(EQ(a,1),NOT(LT(b,'x')))", "AND{EQ[n:a,i:1];NOT{LT[n:b,s:'x']}}"},
    {"AND(EQ(a,1),EQ(b,2))", "AND{EQ[n:a,i:1];EQ[n:b,i:2]}"},
    {"NOT(EQ(a,1))", "NOT{EQ[n:a,i:1]}"},
    {"NOT(NOT(GT(a,1)))", "NOT{NOT{GT[n:a,i:1]}}"},
    {"EQ( a , 'x y' )", "EQ[n:a,s:'xy']"},
    {"EQ(a,'x,y')", "EQ[n:a,s:'xy']"},
    {"EQ(a,'x)y')", "EQ[n:a,s:'x]"},
    {"EQ(a,'x(y')", "EQ[n:a,s:'x(y')]"},
    {"eq(a,1)", "eq[n:a,i:1]"},
    {"(EQ(a,1))", "[n:EQ(a,1),i:0]"},
    {"EQ(a)", "EQ[n:a,i:0]"},
    {"EQ()", "EQ[i:0,i:0]"},
    {"EQ(a,1,2)", "EQ[n:a,i:12]"},
    {"OR(EQ(a,1),EQ(a,2),EQ(a,3))", "OR{EQ[n:a,i:1];EQ[n:a,i:2]}"},
    {"EQ(a,1)xyz", "EQ[n:a,i:1]"},
    {"EQ(a,1)(b)", "EQ[n:a,i:1]"},  // operand text a,1b
    {"EQ(a,1", "EQ[n:a,i:1]"},
    {"EQ(a,(1,2))", "EQ[n:a,n:(1,2)]"},
    {"NOT(EQ(a,1),EQ(b,2))", "NOT{EQ[n:a,i:1]}"},  // inner operand text a,1b,2
    {"FOO(n,1)", "FOO[n:n,i:1]"},
    {"EQ (a,1)", "EQ [n:a,i:1]"},
    {"EQ\t(a,1)", "EQ\t[n:a,i:1]"},
    {"AND(EQ(a,1),b(x))", "AND{EQ[n:a,i:1];b[n:x,i:0]}"},
    {"LT(a,\t1)", "LT[n:a,i:1]"},  // atoi skips the tab, so it is an integer
};

TEST(LogicParse, TreeShapes) {
  const auto& cases = kShapes;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("condition '") + c.text + "'");
    const logic root(c.text);
    EXPECT_EQ(shape(root), c.tree);
  }
}

// The same rendering of a condition as the query reader leaves it in a plan.
std::string plan_operand(const cond_operand& o) {
  if (!o.is_literal) return "n:" + o.text;
  if (o.is_int) return "i:" + std::to_string(o.ival);
  return "s:" + o.text;
}

std::string plan_shape(const plan& p, int32_t i) {
  const cond_node& n = p.cond(i);
  switch (n.op) {
    case cond_op::not_: return "NOT{" + plan_shape(p, n.left) + "}";
    case cond_op::and_:
    case cond_op::or_: return n.keyword + "{" + plan_shape(p, n.left) + ";" + plan_shape(p, n.right) + "}";
    case cond_op::fail: return "<fail>";
    default: return n.keyword + "[" + plan_operand(p.conds.x(n)) + "," + plan_operand(p.conds.y(n)) + "]";
  }
}

// The condition of the first selection in a query's plan.
std::string query_condition(const std::string& query) {
  database db;
  db.addtable("X(a int)");
  const plan p = parse_query(query, db.tables);
  for (const plan_node& n : p.nodes) {
    if (n.op == plan_op::select) {
      const plan_condition& c = p.condition_of(n);
      return c.first_fail >= 0 ? "<fail>" : plan_shape(p, c.root);
    }
  }
  return "<no select>";
}

// Conditions usually arrive as a piece of a larger text (the arguments of a
// select call, anywhere in a query); the tree must not depend on where the
// piece sits.
TEST(LogicParse, SameTreeFromAPieceOfALargerText) {
  for (const auto& c : kShapes) {
    SCOPED_TRACE(std::string("condition '") + c.text + "'");
    if (S(c.text).find(' ') != S::npos) continue;  // the query drops blanks
    EXPECT_EQ(query_condition("select(X," + S(c.text) + ")"), c.tree);
    EXPECT_EQ(query_condition("union(X,select(X," + S(c.text) + "))"), c.tree);
    EXPECT_EQ(query_condition("project(select(minus(X,X)," + S(c.text) + "),a)"), c.tree);
  }
  for (const char* text : {"x", "NOT(x)", "AND(a,b)", "NOT()", "OR(EQ(a,1))"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(query_condition("select(X," + S(text) + ")"), "<fail>");
    EXPECT_THROW(logic{text}, std::runtime_error);
  }
}

// The lexer answers from bit sets of 64 positions a word: walk nested calls
// whose parentheses and commas fall on every side of word edges, with
// groups appended after the closing parentheses, and check each level
// against the rules on plain strings.
TEST(TextIndex, AgreesWithThePlainRulesAcrossWordEdges) {
  for (int pad = 0; pad < 70; ++pad) {
    for (const bool appended : {false, true}) {
      std::string text;
      for (int level = 0; level < 6; ++level) text += S(pad + level, 'n') + "(a" + S(level, 'b') + ",";
      text += "z";
      for (int level = 0; level < 6; ++level) text += appended ? ")(" + S(pad % 7, 'q') + "," + S(level, 'w') + ")" : ")";
      SCOPED_TRACE(text);
      const query_line line(text);
      text_reader texts(line);
      query_text t = texts.whole();
      std::string plain = text;
      for (int level = 0; level < 6; ++level) {
        const uint32_t open = texts.first_open(t);
        ASSERT_EQ(texts.bytes(t, open), plain.substr(0, plain.find('(')));
        const query_text o = texts.operands(t, open);
        const std::string operands = plain_operands(plain);
        ASSERT_EQ(texts.bytes(o), operands);
        const auto [first, rest] = texts.split_first(o);
        const auto [sfirst, srest] = plain_split(operands);
        ASSERT_EQ(texts.bytes(first), sfirst);
        ASSERT_EQ(texts.bytes(rest), srest);
        t = rest;
        plain = srest;
      }
      EXPECT_EQ(texts.first_open(t), kNoPos);
    }
  }
}

TEST(LogicParse, OperandClassification) {
  const struct {
    const char* text;
    const char* as;
  } cases[] = {
      {"age", "n:age"},       {"42", "i:42"},       {"-7", "i:-7"},     {"+7", "i:7"},
      {"007", "i:7"},         {"0", "i:0"},         {"000", "i:0"},     {"", "i:0"},
      {"12ab", "i:12"},       {"-0", "n:-0"},       {"+0", "n:+0"},     {"0x10", "n:0x10"},
      {"'red'", "s:'red'"},   {"'red", "s:'red"},   {"'", "s:'"},       {"a'b", "n:a'b"},
      {"'12'", "s:'12'"},     {"00a", "n:00a"},     {"2147483647", "i:2147483647"},
      {"-2147483648", "i:-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("operand '") + c.text + "'");
    const logic right(S("EQ(x,") + c.text + ")");
    EXPECT_EQ(operand(right.rname, right.rval), c.as);
    EXPECT_EQ(operand(right.lname, right.lval), "n:x");
    const logic left(S("EQ(") + c.text + ",x)");
    EXPECT_EQ(operand(left.lname, left.lval), c.as);
    EXPECT_EQ(operand(left.rname, left.rval), "n:x");
  }
}

TEST(LogicParse, TextsThatAreNotPredicatesThrow) {
  for (const char* text : {"x", "", "NOT(x)", "AND(a,b)", "NOT()", "AND(,EQ(a,1))", "OR(EQ(a,1))",
                           "AND(EQ(a,1),)", "NOT(NOT(a))", "OR(EQ(a,1),AND(EQ(b,1),c))", "EQ"}) {
    SCOPED_TRACE(std::string("condition '") + text + "'");
    try {
      logic l(text);
      ADD_FAILURE() << "parsed as " << shape(l);
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("is not a predicate"), std::string::npos) << e.what();
    }
  }
}

TEST(LogicParse, Isint) {
  const logic l("EQ(a,1)");
  const struct {
    const char* text;
    bool is;
  } cases[] = {
      {"42", true},  {"-7", true},  {"+7", true},   {"007", true},  {"0", true},
      {"000", true}, {"", true},    {"12ab", true}, {" 5", true},   {"\t7", true},
      {"-0", false}, {"+0", false}, {"0x10", false}, {"abc", false}, {"'1'", false},
      {"00a", false}, {" 0", false}, {"-", false},   {"99999999999", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(l.isint(c.text), c.is) << "'" << c.text << "'";
  }
}

// ---- evaluation ----------------------------------------------------------------

binding sample() { return binding{{"n", t_object(5)}, {"s", t_object(S("'abc'"))}}; }

TEST(LogicVerify, EvaluationTable) {
  const struct {
    const char* cond;
    bool result;
    bool adds_m;
  } cases[] = {
      {"EQ(n,5)", true, false}, {"NEQ(n,5)", false, false}, {"LT(n,7)", true, false},
      {"LTE(n,5)", true, false}, {"GTE(n,5)", true, false}, {"GT(n,7)", false, false},
      {"GT(n,4)", true, false}, {"LT(n,5)", false, false}, {"EQ(s,'abc')", true, false},
      {"GT(s,'ab')", true, false}, {"EQ(s,0)", false, false}, {"LT(s,100)", false, false},
      {"GT(s,100)", false, false}, {"GT(s,-1)", true, false}, {"LTE(s,100)", true, false},
      {"GTE(s,100)", true, false}, {"NEQ(s,0)", true, false}, {"LT(n,'abc')", false, false},
      {"GT(n,'abc')", false, false}, {"LTE(n,'abc')", true, false}, {"GTE(n,'abc')", true, false},
      {"EQ(m,0)", true, true}, {"LT(m,1)", true, true}, {"EQ(0,m)", true, true},
      {"EQ(m,'x')", false, true}, {"EQ(m,'')", false, true}, {"FOO(n,1)", true, false},
      {"FOO(m,1)", true, false},  // operands of unknown keywords are never read
      {"eq(n,6)", true, false}, {"NOT(FOO(n,1))", false, false},
      {"AND(EQ(n,6),FOO(n,1))", false, false}, {"AND(EQ(n,6),EQ(m,0))", false, false},
      {"AND(EQ(n,5),EQ(m,0))", true, true}, {"OR(EQ(n,5),EQ(m,1))", true, false},
      {"OR(EQ(n,6),EQ(m,1))", false, true}, {"NOT(EQ(m,1))", true, true},
      {"(EQ(n,6))", true, false}, {"EQ(n)", false, false}, {"EQ(5,n)", true, false},
      {"EQ(s,'a b c')", true, false},  // blanks are removed from the literal
      {"OR(EQ(n,1),EQ(n,2),EQ(n,5))", false, false},
      {"GT(n,4,0)", false, false},  // second operand 40
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cond);
    logic root(c.cond);
    binding b = sample();
    EXPECT_EQ(root.verify(&b), c.result);
    EXPECT_EQ(b.count("m") == 1, c.adds_m);
    if (c.adds_m) {
      EXPECT_TRUE(b.at("m").is_int);
      EXPECT_EQ(b.at("m").ival, 0);
    }
    EXPECT_EQ(b.size(), c.adds_m ? 3u : 2u);
    EXPECT_EQ(b.at("n").ival, 5);
    EXPECT_EQ(b.at("s").sval, "'abc'");
  }
}

// ---- the column-resolved evaluator agrees with verify ---------------------------

TEST(BoundPredicate, AgreesWithVerifyOnBindings) {
  const std::vector<const char*> conditions = {
      "EQ(a,1)",        "NEQ(a,b)",         "LT(a,'x')",          "GT(b,a)",
      "LTE(a,0)",       "GTE('',a)",        "EQ(zz,0)",           "LT(zz,b)",
      "GT(zz,-1)",      "EQ(a,a)",          "GT(a,-1)",           "(EQ(a,1))",
      "EQ(a)",          "FOO(a,b)",         "NOT(FOO(a,1))",      "EQ(1,1)",
      "LT('a',b)",      "LTE(b,'x')",       "GTE(a,'')",          "EQ(b,0)",
      "AND(GT(a,0),LT(b,'z'))",             "OR(EQ(a,b),NOT(EQ(a,0)))",
      "OR(EQ(zz,1),EQ(zz,0))",              "AND(NEQ(c,3),OR(LT(a,b),GTE(c,a)))",
      "NOT(AND(EQ(a,2),EQ(c,7)))",          "OR(GT(b,'m'),LT(c,0))",
  };
  const std::vector<std::vector<std::string>> layouts = {
      {"a", "b"}, {"a", "b", "a"}, {"b", "a", "c"}, {"c"}, {}, {"a", "a", "a"}, {"zz", "b"},
  };
  const std::vector<row> rows = {
      {1, S("'x'")},
      {0, S("")},
      {S(""), 0, 7},
      {5},
      {},
      {S("x"), 2, 3},
      {-1, S("'m'"), 7, 9},
      {2, S("n"), 2},
      {INT_MIN, INT_MAX, -1},
      {S("b"), S("a"), S("c")},
  };
  for (const char* cond : conditions) {
    logic root(cond);
    const cond_tree nodes = condition_nodes(root);
    for (const auto& cols : layouts) {
      const bound_predicate bound(nodes, 0, cols);
      for (std::size_t ri = 0; ri < rows.size(); ++ri) {
        const row& r = rows[ri];
        binding b;
        for (std::size_t i = 0; i < r.size() && i < cols.size(); ++i) b[cols[i]] = r[i];
        const bool expected = root.verify(&b);
        std::string layout;
        for (const auto& c : cols) layout += c + " ";
        std::vector<cell> cells;
        for (const t_object& v : r) cells.push_back(cell::of(v));
        EXPECT_EQ(bound.test(cells.data(), static_cast<uint32_t>(cells.size())), expected)
            << "condition " << cond << ", columns [" << layout << "], row " << ri;
      }
    }
  }
}

}  // namespace
