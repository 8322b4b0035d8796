// Formulas of queries read by the real parser over real tables, compared
// with forms written by hand, in both notations: the operators, the
// parentheses each nesting needs, constants as the reading rules give
// them, and names that TeX or a terminal would mangle.
#include <gtest/gtest.h>

#include <string>

#include "engine/loader.h"
#include "engine/parser.h"
#include "engine/schema.h"
#include "notation/notation.h"
#include "notation/run.h"
#include "engine/show_text.h"
#include "notation/style.h"

namespace relalg_notation {
namespace {

const std::string kTables =
    "R(a int, b text)\n1, 'x'\n\n"
    "S(c int, d text)\n2, 'y'\n\n"
    "T(a int, b text)\n\n"
    "E\n\n"
    "Q  x(a int)\n\n"
    "under_score#1(x_y int)\n\n"
    "R \t(a int)\n\n"
    "caf\xc3\xa9\xff(a int)\n";

struct formulas {
  std::string unicode;
  std::string latex;
};

formulas write(const std::string& query) {
  const std::string input = query + "\n" + kTables;
  table_map tables;
  const std::string line = load_tables(input, tables, true);
  const plan p = parse_query(line, tables);
  EXPECT_TRUE(plan_schemas(p)[static_cast<std::size_t>(p.root)].ok) << query;
  return {write_formula(p, notation_form::unicode), write_formula(p, notation_form::latex)};
}

struct formula_case {
  const char* query;
  const char* unicode;
  const char* latex;
};

class formula_cases : public ::testing::TestWithParam<formula_case> {};

TEST_P(formula_cases, match_the_hand_written_forms) {
  const formula_case& c = GetParam();
  const formulas f = write(c.query);
  EXPECT_EQ(f.unicode, c.unicode) << c.query;
  EXPECT_EQ(f.latex, c.latex) << c.query;
}

const formula_case kOperators[] = {
    {"R", "R", "\\text{R}"},
    {"select(R,EQ(a,1))", "σ a = 1 (R)", "\\sigma_{\\text{a} = 1}(\\text{R})"},
    {"select(R,NEQ(a,1))", "σ a ≠ 1 (R)", "\\sigma_{\\text{a} \\neq 1}(\\text{R})"},
    {"select(R,LT(a,b))", "σ a < b (R)", "\\sigma_{\\text{a} < \\text{b}}(\\text{R})"},
    {"select(R,LTE(a,1))", "σ a ≤ 1 (R)", "\\sigma_{\\text{a} \\leq 1}(\\text{R})"},
    {"select(R,GT(a,1))", "σ a > 1 (R)", "\\sigma_{\\text{a} > 1}(\\text{R})"},
    {"select(R,GTE(a,1))", "σ a ≥ 1 (R)", "\\sigma_{\\text{a} \\geq 1}(\\text{R})"},
    {"project(R,b,a,b)", "π b, a, b (R)", "\\pi_{\\text{b}, \\text{a}, \\text{b}}(\\text{R})"},
    {"rename(R,Q(p,q))", "ρ Q(p, q) (R)", "\\rho_{\\text{Q}(\\text{p}, \\text{q})}(\\text{R})"},
    // Names beyond one per column are not read; a table without columns
    // takes only the new name.
    {"rename(R,Q(p,q,r,s))", "ρ Q(p, q) (R)", "\\rho_{\\text{Q}(\\text{p}, \\text{q})}(\\text{R})"},
    {"rename(project(product(R,S),a,d),Q(p,q))", "ρ Q(p, q) (π a, d (R × S))",
     "\\rho_{\\text{Q}(\\text{p}, \\text{q})}(\\pi_{\\text{a}, \\text{d}}(\\text{R} \\times \\text{S}))"},
    {"rename(E,F())", "ρ F (E)", "\\rho_{\\text{F}}(\\text{E})"},
    {"product(R,S)", "R × S", "\\text{R} \\times \\text{S}"},
    {"union(R,T)", "R ∪ T", "\\text{R} \\cup \\text{T}"},
    {"minus(R,T)", "R − T", "\\text{R} - \\text{T}"},
};
INSTANTIATE_TEST_SUITE_P(operators, formula_cases, ::testing::ValuesIn(kOperators));

const formula_case kParentheses[] = {
    // Union and product chain either way; a difference reads from the left.
    {"union(union(R,T),R)", "R ∪ T ∪ R", "\\text{R} \\cup \\text{T} \\cup \\text{R}"},
    {"union(R,union(T,R))", "R ∪ T ∪ R", "\\text{R} \\cup \\text{T} \\cup \\text{R}"},
    {"product(R,product(S,E))", "R × S × E", "\\text{R} \\times \\text{S} \\times \\text{E}"},
    {"minus(minus(R,T),R)", "R − T − R", "\\text{R} - \\text{T} - \\text{R}"},
    {"minus(R,minus(T,R))", "R − (T − R)", "\\text{R} - (\\text{T} - \\text{R})"},
    // Different operators never lean on a precedence.
    {"union(minus(R,T),R)", "(R − T) ∪ R", "(\\text{R} - \\text{T}) \\cup \\text{R}"},
    {"minus(union(R,T),R)", "(R ∪ T) − R", "(\\text{R} \\cup \\text{T}) - \\text{R}"},
    {"product(union(R,T),S)", "(R ∪ T) × S", "(\\text{R} \\cup \\text{T}) \\times \\text{S}"},
    {"union(R,product(S,E))", "R ∪ (S × E)", "\\text{R} \\cup (\\text{S} \\times \\text{E})"},
    // A unary operator's operand is in its own parentheses.
    {"union(select(R,EQ(a,1)),T)", "σ a = 1 (R) ∪ T", "\\sigma_{\\text{a} = 1}(\\text{R}) \\cup \\text{T}"},
    {"select(union(R,T),EQ(a,1))", "σ a = 1 (R ∪ T)", "\\sigma_{\\text{a} = 1}(\\text{R} \\cup \\text{T})"},
    // Conditions: chains of one connective, the other in parentheses.
    {"select(R,AND(AND(EQ(a,1),EQ(a,2)),EQ(a,3)))", "σ a = 1 ∧ a = 2 ∧ a = 3 (R)",
     "\\sigma_{\\text{a} = 1 \\wedge \\text{a} = 2 \\wedge \\text{a} = 3}(\\text{R})"},
    {"select(R,OR(EQ(a,1),OR(EQ(a,2),EQ(a,3))))", "σ a = 1 ∨ a = 2 ∨ a = 3 (R)",
     "\\sigma_{\\text{a} = 1 \\vee \\text{a} = 2 \\vee \\text{a} = 3}(\\text{R})"},
    {"select(R,AND(OR(EQ(a,1),EQ(a,2)),EQ(a,3)))", "σ (a = 1 ∨ a = 2) ∧ a = 3 (R)",
     "\\sigma_{(\\text{a} = 1 \\vee \\text{a} = 2) \\wedge \\text{a} = 3}(\\text{R})"},
    {"select(R,OR(EQ(a,1),AND(EQ(a,2),EQ(a,3))))", "σ a = 1 ∨ (a = 2 ∧ a = 3) (R)",
     "\\sigma_{\\text{a} = 1 \\vee (\\text{a} = 2 \\wedge \\text{a} = 3)}(\\text{R})"},
    {"select(R,NOT(EQ(a,1)))", "σ ¬(a = 1) (R)", "\\sigma_{\\neg (\\text{a} = 1)}(\\text{R})"},
    {"select(R,NOT(NOT(AND(EQ(a,1),EQ(a,2)))))", "σ ¬¬(a = 1 ∧ a = 2) (R)",
     "\\sigma_{\\neg \\neg (\\text{a} = 1 \\wedge \\text{a} = 2)}(\\text{R})"},
    {"select(R,AND(NOT(EQ(a,1)),EQ(a,2)))", "σ ¬(a = 1) ∧ a = 2 (R)",
     "\\sigma_{\\neg (\\text{a} = 1) \\wedge \\text{a} = 2}(\\text{R})"},
    // A keyword that is none of the nine is always true.
    {"select(R,NOT(eq(a,1)))", "σ ¬true (R)", "\\sigma_{\\neg \\mathrm{true}}(\\text{R})"},
};
INSTANTIATE_TEST_SUITE_P(parentheses, formula_cases, ::testing::ValuesIn(kParentheses));

const formula_case kConstantsAndNames[] = {
    // Constants as the reading rules give them: blanks removed, integers
    // converted, the empty operand 0; apostrophes kept (TeX's opening quote
    // for the first).
    {"select(R,EQ(b,'Ada'))", "σ b = 'Ada' (R)", "\\sigma_{\\text{b} = \\text{`Ada'}}(\\text{R})"},
    {"select(R,EQ(b, 'O Brien'))", "σ b = 'OBrien' (R)", "\\sigma_{\\text{b} = \\text{`OBrien'}}(\\text{R})"},
    {"select(R,EQ(b,'red))", "σ b = 'red (R)", "\\sigma_{\\text{b} = \\text{`red}}(\\text{R})"},
    {"select(R,AND(EQ(a,+7),EQ(a,007)))", "σ a = 7 ∧ a = 7 (R)",
     "\\sigma_{\\text{a} = 7 \\wedge \\text{a} = 7}(\\text{R})"},
    {"select(R,GT(a,-2147483649))", "σ a > -2147483648 (R)", "\\sigma_{\\text{a} > -2147483648}(\\text{R})"},
    {"select(R,EQ(a,))", "σ a = 0 (R)", "\\sigma_{\\text{a} = 0}(\\text{R})"},
    // A name the operand lacks is still a name.
    {"select(R,EQ(zz,-0))", "σ zz = -0 (R)", "\\sigma_{\\text{zz} = \\text{-0}}(\\text{R})"},
    // Characters TeX reads as markup, and text mode's ligatures.
    {"select(R,EQ(b,'#$%&_{}~^\\|<>--'))", "σ b = '#$%&_{}~^\\|<>--' (R)",
     "\\sigma_{\\text{b} = \\text{`\\#\\$\\%\\&\\_\\{\\}\\textasciitilde{}\\textasciicircum{}"
     "\\textbackslash{}\\textbar{}\\textless{}\\textgreater{}-{}-'}}(\\text{R})"},
    {"project(under_score#1,x_y)", "π x_y (under_score#1)",
     "\\pi_{\\text{x\\_y}}(\\text{under\\_score\\#1})"},
    // A blank TeX would drop, a tab, a byte that is not UTF-8; UTF-8 stays.
    {"R \t", "R \\x09", "\\text{R \\textbackslash{}x09}"},
    {"Q  x", "Q  x", "\\text{Q \\ x}"},
    {"caf\xc3\xa9\xff", "caf\xc3\xa9\\xff", "\\text{caf\xc3\xa9\\textbackslash{}xff}"},
};
INSTANTIATE_TEST_SUITE_P(constants_and_names, formula_cases, ::testing::ValuesIn(kConstantsAndNames));

TEST(visible_text, shows_invisible_and_broken_bytes_as_hex) {
  EXPECT_EQ(visible_text("a\x01\x7f"), "a\\x01\\x7f");
  EXPECT_EQ(visible_text("\xc2\x85\xef\xbb\xbf"), "\\xc2\\x85\\xef\\xbb\\xbf");  // NEL, BOM
  EXPECT_EQ(visible_text("\xc0\xaf\xed\xa0\x80"), "\\xc0\\xaf\\xed\\xa0\\x80");  // overlong, surrogate
  EXPECT_EQ(visible_text("\xe2\x88"), "\\xe2\\x88");                              // cut short
  EXPECT_EQ(visible_text("\xf0\x9f\x98\x80 \xce\xb1"), "\xf0\x9f\x98\x80 \xce\xb1");
}

// Nesting far deeper than any stack would take by recursion.
TEST(write_formula, writes_queries_nested_a_hundred_thousand_levels) {
  constexpr int depth = 100000;
  std::string query;
  for (int i = 0; i < depth; ++i) query += "select(";
  query += "R";
  for (int i = 0; i < depth; ++i) query += ",NOT(EQ(a,1)))";
  const formulas f = write(query);
  std::string expected;
  for (int i = 0; i < depth; ++i) expected += "σ ¬(a = 1) (";
  expected += "R";
  expected += std::string(depth, ')');
  EXPECT_EQ(f.unicode, expected);

  std::string cond;
  for (int i = 0; i < depth; ++i) cond += "AND(EQ(a,1),";
  cond += "EQ(a,2)" + std::string(depth, ')');
  const formulas g = write("select(R," + cond + ")");
  EXPECT_EQ(g.unicode.size(), std::string("σ  (R)").size() + depth * std::string("a = 1 ∧ ").size() +
                                  std::string("a = 2").size());
}

TEST(notation_option, reads_the_forms_and_refuses_others) {
  notation_options o;
  std::string error;
  EXPECT_FALSE(read_notation_option("--sql", o, error));
  EXPECT_TRUE(read_notation_option("--notation=latex", o, error));
  EXPECT_TRUE(o.on);
  EXPECT_EQ(o.form, notation_form::latex);
  EXPECT_TRUE(read_notation_option("--notation", o, error));
  EXPECT_EQ(o.form, notation_form::unicode);
  EXPECT_TRUE(read_notation_option("--notation=tex", o, error));
  EXPECT_EQ(error, "--notation takes unicode or latex, not 'tex'");
}

}  // namespace
}  // namespace relalg_notation
