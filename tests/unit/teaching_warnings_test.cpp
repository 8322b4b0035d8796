// The warnings that explain the slips learners make: a string constant
// written without apostrophes, an integer constant with text after its
// digits, set operations that pair columns of other names, a renaming of a
// product in its operands' order, and a query wrapped onto line 2. Each on
// cases that should warn and on close cases that should not.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pipeline.h"

namespace {

const char* const kCars =
    "C(id int, color text, screen int)\n1, 'red', 15\n2, 'blue', 17\n3, green, 13\n\n"
    "P(maker text, model int)\n'A', 1\n'B', 2\n\n"
    "Q(model int, price int)\n1, 500\n";

// The warnings --warn gives for a query over kCars: "LINE:COL: message".
std::vector<std::string> warnings(const std::string& query, const char* tables = kCars) {
  run_options o;
  o.warn = run_options::warnings::on;
  const std::string input = query + "\n" + tables;
  const run_result r = run_text(input, o);
  std::vector<std::string> out;
  for (const diagnostic& d : r.diagnostics) {
    if (d.level != severity::warning) continue;
    // The column the message shows: blanks at the span's start are skipped.
    const std::string_view line = line_of(input, d.line);
    uint32_t col = d.span.begin;
    while (col < line.size() && col < d.span.end && line[col] == ' ') ++col;
    out.push_back(std::to_string(d.line) + ":" + std::to_string(col + 1) + ": " + d.message +
                  (d.suggestion.empty() ? "" : " [" + d.suggestion + "]"));
  }
  return out;
}

bool mentions(const std::vector<std::string>& ws, const std::string& text) {
  for (const std::string& w : ws) {
    if (w.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(TeachingWarnings, AWordThatIsAValueOfTheComparedColumn) {
  const auto red = warnings("select(C, EQ(color, red))");
  ASSERT_EQ(red.size(), 1u);
  EXPECT_EQ(red[0],
            "1:21: 'red' is not a column of the operand (id, color, screen): it compares as the integer 0; "
            "did you mean the string 'red'? ['red']");
  // Stored without apostrophes, the value is the word itself.
  EXPECT_TRUE(mentions(warnings("select(C, EQ(green, color))"), "did you mean the string 'green'?"));
  // A word that no row holds: the column suggestion stays.
  EXPECT_TRUE(mentions(warnings("select(C, EQ(colr, 'red'))"), "did you mean 'color'?"));
  EXPECT_FALSE(mentions(warnings("select(C, EQ(color, purple))"), "the string"));
  // A real column named like a value: no warning at all.
  EXPECT_TRUE(warnings("select(C, EQ(color, color))").empty());
  // An int column holds no words.
  EXPECT_FALSE(mentions(warnings("select(C, EQ(id, red))"), "the string"));
}

TEST(TeachingWarnings, AnIntegerConstantWithTextAfterItsDigits) {
  const struct {
    const char* query;
    const char* warning;  // empty: none
  } cases[] = {
      {"select(C, GTE(screen, 15.4))", "1:23: the constant '15.4' reads as the integer 15"},
      {"select(C, GT(screen, 3GHz))", "the constant '3GHz' reads as the integer 3"},
      {"select(C, LT(id, 1e3))", "the constant '1e3' reads as the integer 1"},
      {"select(C, EQ(id, 99999999999))", "the constant 99999999999 does not fit in 32 bits: it reads as 2147483647"},
      {"select(C, GTE(screen, 15))", ""},
      {"select(C, GTE(screen, +15))", ""},
      {"select(C, GTE(screen, 007))", ""},
      {"select(C, GTE(screen, -2147483648))", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const auto ws = warnings(c.query);
    if (*c.warning == 0) {
      EXPECT_TRUE(ws.empty()) << (ws.empty() ? "" : ws[0]);
    } else {
      EXPECT_TRUE(mentions(ws, c.warning)) << (ws.empty() ? "(none)" : ws[0]);
    }
  }
}

TEST(TeachingWarnings, SetOperationsPairColumnsByPosition) {
  const auto mixed = warnings("union(project(P, model), project(Q, price))");
  ASSERT_EQ(mixed.size(), 1u);
  EXPECT_EQ(mixed[0],
            "1:1: union matches columns by position, not by name: it pairs 'model' with 'price' (the first "
            "operand's (model) against the second's (price))");
  // The division slip: product lays out (maker, model), the other (model, maker).
  EXPECT_TRUE(mentions(warnings("minus(product(project(P, maker), project(Q, model)), project(P, model, maker))"),
                       "it pairs 'maker' with 'model' and 'model' with 'maker'"));
  // The same names, whatever order the operands are written in.
  EXPECT_TRUE(warnings("union(product(P, rename(Q, R(m, p))), product(rename(Q, R(m, p)), P))").empty());
  EXPECT_TRUE(warnings("minus(project(P, model), project(Q, model))").empty());
}

TEST(TeachingWarnings, ARenamingOfAProductInItsOperandsOrder) {
  const char* tables = "S(sid int, sname text)\n1, 'a'\n\nB(bid int, bname text)\n7, 'x'\n";
  // product(S,B) lays out bid, bname, sid, sname.
  const auto wrong = warnings("rename(product(S, B), T(sid2, sname2, bid2, bname2))", tables);
  ASSERT_EQ(wrong.size(), 1u);
  EXPECT_EQ(wrong[0],
            "1:23: the new names follow the product's operands in the order they are written (sid, sname, bid, "
            "bname), but product lays out its columns by name: (bid, bname, sid, sname); rename names them in "
            "that order");
  EXPECT_TRUE(warnings("rename(product(S, B), T(bid2, bname2, sid2, sname2))", tables).empty());
  EXPECT_TRUE(warnings("rename(product(S, B), T(a, b, c, d))", tables).empty());
}

TEST(TeachingWarnings, AQueryWrappedOntoTheSecondLine) {
  const auto wrapped = warnings("project(select(C,", "  GT(screen, 14)), color)\nC(id int, color text, screen int)\n1, 'red', 15\n");
  EXPECT_TRUE(mentions(wrapped, "2:3: this line closes parentheses that the query on line 1 leaves open"));
  // A header after a query that is whole, or a query that is whole on line 1.
  EXPECT_FALSE(mentions(warnings("project(C, color)"), "leaves open"));
  EXPECT_FALSE(mentions(warnings("project(C, color", "C(id int, color text)\n1, 'x'\n"), "leaves open"));
}

}  // namespace
