// The engine's shared pieces, each the one home of its job: the block
// reader against a plain line-by-line reading, messages as values and
// their JSON form, the open-addressing table past its growth, the
// language's words, and the interpreter's handlers over argument texts.
#include <algorithm>
#include <map>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "algo.h"
#include "engine/blocks.h"
#include "engine/diagnostic.h"
#include "engine/slot_table.h"
#include "engine/vocabulary.h"

namespace {

// The loading loop as first written: every line in turn, a state of
// "between blocks" or "in a block".
struct plain_block {
  uint32_t header_line;
  std::string header;
  std::vector<std::pair<uint32_t, std::string>> rows;
};
std::vector<plain_block> plain_blocks(const std::string& input) {
  std::vector<plain_block> out;
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from <= input.size()) {
    const std::size_t nl = input.find('\n', from);
    if (nl == std::string::npos) {
      if (from < input.size()) lines.push_back(input.substr(from));
      break;
    }
    lines.push_back(input.substr(from, nl - from));
    from = nl + 1;
  }
  bool in_block = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const auto number = static_cast<uint32_t>(i + 1);
    if (line.empty()) {
      in_block = false;
    } else if (!in_block) {
      out.push_back({number, line, {}});
      in_block = line[0] != '(';
    } else {
      out.back().rows.emplace_back(number, line);
    }
  }
  return out;
}

TEST(BlockReader, AgreesWithALineByLineReading) {
  std::vector<std::string> inputs = {
      "", "Q", "Q\n", "Q\nR(a int)", "Q\nR(a int)\n1\n2", "Q\nR(a int)\n1\n2\n", "Q\n\n\nR(a)\n\n\n",
      "Q\n(a int)\nR(b int)\n5\n", "Q\nR(a int)\n1\nR(b text)\n'x'\n", "Q\nR(a int)\n1\r\n\r\n3\n",
      "Q\nR\n1\n\n  \nS(a)\n", "Q\n(\n(\nx\n", "Q\nR(a)\n\n\n\nS(b)\n1\n2\n3\n\nT(c)\n",
  };
  std::mt19937 rng(7);
  const char* pieces[] = {"\n", "\n", "R(a int)", "(x)", "1", "'y'", " ", "\r"};
  for (int k = 0; k < 300; ++k) {
    std::string s = "Q";
    const int n = static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) s += pieces[rng() % 8];
    inputs.push_back(s);
  }
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    std::vector<plain_block> got;
    block_reader blocks(input);
    EXPECT_EQ(blocks.query(), input.substr(0, input.find('\n')));
    input_block b;
    while (blocks.next(b)) {
      plain_block p{b.header_line, std::string(b.header), {}};
      for_each_row_line(b.rows, b.first_row_line,
                        [&p](uint32_t line, std::string_view text) { p.rows.emplace_back(line, std::string(text)); });
      got.push_back(std::move(p));
    }
    const std::vector<plain_block> want = plain_blocks(input);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].header_line, want[i].header_line);
      EXPECT_EQ(got[i].header, want[i].header);
      EXPECT_EQ(got[i].rows, want[i].rows);
    }
  }
}

TEST(Diagnostic, TextAndJsonForms) {
  diagnostic d;
  d.span = {6, 10};
  d.message = "no table named 'Rx'; did you mean 'R'?";
  d.suggestion = "R";
  EXPECT_EQ(format_diagnostic("in.txt", "union( Rx ,S)", d),
            "relalg: in.txt:1:8: error: no table named 'Rx'; did you mean 'R'?\nunion( Rx ,S)\n       ^~\n");
  EXPECT_EQ(diagnostic_json("in.txt", "union( Rx ,S)", d),
            "{\"severity\":\"error\",\"message\":\"no table named 'Rx'; did you mean 'R'?\",\"file\":\"in.txt\","
            "\"line\":1,\"column\":8,\"length\":2,\"suggestion\":\"R\"}\n");
  const diagnostic w = unplaced(severity::warning, "w \"q\"\n\x01");
  EXPECT_EQ(format_diagnostic("in.txt", "", w), "relalg: warning: w \"q\"\n\x01\n");
  EXPECT_EQ(diagnostic_json("in.txt", "", w),
            "{\"severity\":\"warning\",\"message\":\"w \\\"q\\\"\\n\\u0001\",\"file\":null,\"line\":0,\"column\":0,\"length\":0}\n");
  EXPECT_EQ(format_diagnostic("x", "", unplaced(severity::note, "n")), "relalg: note: n\n");
  EXPECT_EQ(format_diagnostic("x", "", unplaced(severity::error, "e")), "relalg: e\n");
  // Bytes that are not UTF-8 stand for the code points of their number.
  diagnostic bytes = unplaced(severity::error, "\xff\xc3\xa9");
  EXPECT_EQ(diagnostic_json("", "", bytes).rfind("{\"severity\":\"error\",\"message\":\"\xc3\xbf\xc3\xa9\",", 0), 0u);
  // The line a placed message shows comes from the whole input.
  diagnostic row;
  row.level = severity::warning;
  row.line = 3;
  row.span = {0, 2};
  row.message = "m";
  EXPECT_EQ(render_diagnostic(message_form::text, "f", "Q\nR(a int)\n1x\n", row), "relalg: f:3:1: warning: m\n1x\n^~\n");
  EXPECT_EQ(line_of("a\nb", 2), "b");
  EXPECT_EQ(line_of("a\nb", 3), "");
}

TEST(SlotTable, KeepsEveryEntryPastItsGrowth) {
  // Many hashes alike force long probes; the table starts small and grows.
  slot_table t(1);
  std::map<uint32_t, uint32_t> first;  // value -> the position stored first
  std::vector<uint32_t> values;
  std::mt19937 rng(3);
  for (uint32_t pos = 0; pos < 5000; ++pos) {
    const uint32_t v = rng() % 1500;
    values.push_back(v);
    const uint32_t h = v % 37;  // colliding hashes
    const uint32_t at = t.find_or_add(h, pos, [&](uint32_t q) { return values[q] == v; });
    const auto seen = first.find(v);
    if (seen == first.end()) {
      EXPECT_EQ(at, slot_table::kAdded);
      first[v] = pos;
    } else {
      EXPECT_EQ(at, seen->second);
    }
  }
  EXPECT_EQ(t.size(), first.size());
  // A table sized at once keeps every entry of a key, placed from a start
  // spread from the key and found by probing from there.
  slot_table multi(100);
  const auto start = [](uint32_t key) { return key * 2654435761u; };
  for (uint32_t pos = 0; pos < 100; ++pos) multi.add(start(pos % 10), pos % 10, pos);
  for (uint32_t key = 0; key < 10; ++key) {
    std::vector<uint32_t> found;
    multi.probe(start(key), [&](uint32_t k, uint32_t pos) {
      if (k == key) found.push_back(pos);
    });
    std::sort(found.begin(), found.end());
    std::vector<uint32_t> want;
    for (uint32_t pos = key; pos < 100; pos += 10) want.push_back(pos);
    EXPECT_EQ(found, want);
  }
}

TEST(Vocabulary, OneTableOfWords) {
  for (const plan_op op : kOperationOrder) EXPECT_EQ(operation_named(operation_name(op)), op);
  EXPECT_EQ(operation_named("Union"), plan_op::fail);
  EXPECT_EQ(operation_named("union "), plan_op::fail);
  EXPECT_EQ(keyword_names().size(), 9u);
  for (const std::string& k : keyword_names()) EXPECT_EQ(keyword_name(keyword_op(k)), k);
  EXPECT_EQ(keyword_op("eq"), cond_op::other);
  const struct {
    const char* text;
    bool is_int;
  } literals[] = {{"42", true}, {"-7", true}, {"+7", true}, {"007", true}, {"000", true}, {"", true},
                  {"12ab", true}, {"-0", false}, {"0x10", false}, {"age", false}, {"'red'", false}};
  for (const auto& c : literals) EXPECT_EQ(is_int_text(c.text), c.is_int) << c.text;
}

TEST(Interpreter, HandlersTakeArgumentTextsAndDispatchByName) {
  database db;
  db.addtable("R(a int, b text)");
  db.addline("R", "1, 'x'");
  db.addline("R", "2, 'y'");
  db.addtable("union(c int)");
  db.addline("union", "9");
  algo a(db);
  ASSERT_EQ(a.opmap.size(), 6u);
  for (const plan_op op : kOperationOrder) EXPECT_EQ(a.opmap.count(std::string(operation_name(op))), 1u);
  const auto printed = [](const table& t) {
    std::ostringstream out;
    out << t;
    return out.str();
  };
  EXPECT_EQ(printed(a.union_("R,R")), "R(a int, b text)\n1,'x'\n2,'y'\n");
  EXPECT_EQ(printed(a.select("R,GT(a,1)")), "(a int, b text)\n2,'y'\n");
  EXPECT_EQ(printed(a.project("R,b")), "(b text)\n'x'\n'y'\n");
  EXPECT_EQ(printed(a.rename("R,T(x,y)")), "T(x int, y text)\n1,'x'\n2,'y'\n");
  EXPECT_EQ(printed(a.interpreter("union( union , union)")), "union(c int)\n9\n");
  EXPECT_EQ(printed(a.interpreter("minus(R,select(R,EQ(a,1)))")), "(a int, b text)\n2,'y'\n");
  EXPECT_THROW(a.interpreter("Union(R,R)"), std::runtime_error);
  EXPECT_THROW(a.interpreter("nosuch"), std::runtime_error);
  EXPECT_THROW(a.product("R,R"), std::runtime_error);
  try {
    a.interpreter("union(R,Rx)");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "no table named 'Rx'; did you mean 'R'?");
  }
}

}  // namespace
