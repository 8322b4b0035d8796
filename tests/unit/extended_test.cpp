// The extended operations as the engine reads them: only when asked for;
// each written out as nodes of the six in reading order, the call read back
// from them with its operands as written; renamed-apart columns that
// never collide with the operands'; the option kept when a prepared query
// is read again against other tables; the join's refusals worded as join;
// long chains read without recursion. Their results against plain
// definitions are the differential tests' part.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/extended.h"
#include "engine/extended_calls.h"
#include "engine/loader.h"
#include "engine/parser.h"
#include "engine/pipeline.h"
#include "engine/schema.h"
#include "engine/session.h"

namespace {

const char* const kTables =
    "R(a int, b text)\n1, 'x'\n1, 'y'\n2, 'x'\n\n"
    "S(b text, c int)\n'x', 7\n'y', 8\n\n"
    "T(b text)\n'x'\n'y'\n";

struct read_query {
  table_map tables;
  plan p;
};

read_query read(const std::string& query, bool extended) {
  read_query r;
  load_tables(query + "\n" + kTables, r.tables, true);
  r.p = parse_query(query, r.tables, {false, extended});
  return r;
}

std::string text_of(const plan& p, int32_t node) {
  const source_span s = p.node(node).span;
  return p.line.substr(s.begin, s.end - s.begin);
}

// The result part of a run's output: after the echo of an input that ends
// with a line feed, and the empty line.
std::string result_of(const std::string& input, const run_result& r) {
  return r.output.substr(input.size() + 1);
}

TEST(Extended, NamesAreUnknownOperationsWithoutTheOption) {
  for (const char* q : {"join(R,S,EQ(a,c))", "njoin(R,S)", "intersect(R,R)", "divide(R,T)"}) {
    const read_query r = read(q, false);
    EXPECT_EQ(r.p.node(r.p.root).op, plan_op::fail) << q;
    EXPECT_EQ(r.p.message_of(r.p.node(r.p.root)).rfind("unknown operation", 0), 0U) << q;
  }
}

TEST(Extended, EachCallIsReadBackFromItsDefinition) {
  struct call_case {
    const char* query;
    extended_op op;
    const char* left;
    const char* right;
    const char* header;  // the call's header, as printed
  };
  const call_case cases[] = {
      {"join(R, rename(S, Q(d, c)), EQ(b, d))", extended_op::join, "R", " rename(S, Q(d, c))", "(a int, b text, c int, d text)"},
      {"njoin(R,S)", extended_op::njoin, "R", "S", "(a int, b text, c int)"},
      {"njoin(R,project(S,c))", extended_op::njoin, "R", "project(S,c)", "(a int, b text, c int)"},
      {"intersect(R, R)", extended_op::intersect, "R", " R", "R(a int, b text)"},
      {"divide(R,T)", extended_op::divide, "R", "T", "(a int)"},
      {"divide(R,S)", extended_op::divide, "R", "S", ""},  // refused: S's c is not R's
      {"project(divide(njoin(R,S),T),a)", extended_op::none, "", "", "(a int)"},
  };
  for (const call_case& c : cases) {
    const read_query r = read(c.query, true);
    const plan& p = r.p;
    // Every node before its operands, as the reader numbers them.
    for (std::size_t i = 0; i < p.nodes.size(); ++i) {
      EXPECT_TRUE(p.nodes[i].left < 0 || p.nodes[i].left > static_cast<int32_t>(i)) << c.query;
      EXPECT_TRUE(p.nodes[i].right < 0 || p.nodes[i].right > static_cast<int32_t>(i)) << c.query;
    }
    const written_call w = call_of(p, p.root);
    EXPECT_EQ(w.op, c.op) << c.query;
    if (c.op != extended_op::none) {
      EXPECT_EQ(text_of(p, p.root), c.query);
      EXPECT_EQ(text_of(p, w.left), c.left) << c.query;
      EXPECT_EQ(text_of(p, w.right), c.right) << c.query;
      EXPECT_EQ(w.condition >= 0, c.op == extended_op::join) << c.query;
    }
    const node_schema s = plan_schemas(p)[static_cast<std::size_t>(p.root)];
    std::string header;
    if (s.ok) {
      print_header(s.name, s.colnames, s.coltypes, header);
      header.pop_back();
    }
    EXPECT_EQ(header, c.header) << c.query << ": " << s.error;
  }
}

TEST(Extended, RenamedApartColumnsNeverMeetTheOperands) {
  EXPECT_EQ(fresh_name("a", {"a", "b"}), "a'");
  EXPECT_EQ(fresh_name("a", {"a", "a'", "a''"}), "a'''");
  // Both operands hold a and a', and the second a'' too: a is renamed to
  // a''' and a' to a''''.
  const std::string input =
      "njoin(P, Q)\n"
      "P(a int, a' int)\n1, 2\n1, 3\n\n"
      "Q(a'' text, a' int, a int)\n'u', 2, 1\n'v', 3, 2\n";
  run_options o;
  o.extended = true;
  const run_result r = run_text(input, o);
  EXPECT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(result_of(input, r), "(a int, a' int, a'' text)\n1,2,'u'\n");
}

TEST(Extended, APreparedQueryReadAgainKeepsTheOption) {
  const std::string text = std::string("divide(R,T)\n") + kTables;
  session first(text);
  first.parse_rows();
  prepare_options o;
  o.extended = true;
  const prepared_query q = first.prepare(first.query(), o);
  // Other headers: the query is read again there, with the same option.
  const std::string other_text = "x\nR(a int, b text, z int)\n1, 'x', 0\n1, 'y', 0\n\nT(b text)\n'x'\n'y'\n";
  session other(other_text);
  other.parse_rows();
  const answer a = other.run(q);
  ASSERT_TRUE(a.ok()) << a.failure().message;
  EXPECT_EQ(a.printed(), "(a int, z int)\n1,0\n");
}

TEST(Extended, JoinRefusalsSpeakOfJoin) {
  run_options o;
  o.extended = true;
  const std::string clash = std::string("join(R, S, EQ(a, c))\n") + kTables;
  EXPECT_NE(run_text(clash, o).messages.find("error: join: column 'b' appears in both operands;"), std::string::npos);
  // The limit on the rows a join keeps, met by the hash join.
  const std::string many = std::string("join(R, rename(S, Q(d, c)), EQ(b, d))\n") + kTables;
  o.limits.row_limit = 2;
  EXPECT_NE(run_text(many, o).messages.find("error: join: the rows it keeps of the product number more than the limit of 2"),
            std::string::npos)
      << run_text(many, o).messages;
  // A product written as such keeps its own words.
  EXPECT_NE(run_text(std::string("product(R, S)\n") + kTables, o).messages.find("error: product: column 'b'"),
            std::string::npos);
}

TEST(Extended, LongChainsAreReadWithoutRecursion) {
  // Right-nested, so nothing is copied more than once a level.
  std::string query = "T";
  for (int i = 0; i < 20000; ++i) query = "intersect(T," + query + ")";
  const std::string input = query + "\n" + kTables;
  run_options o;
  o.extended = true;
  const run_result r = run_text(input, o);
  EXPECT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(result_of(input, r), "T(b text)\n'x'\n'y'\n");
}

}  // namespace
