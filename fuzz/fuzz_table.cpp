// Tables from arbitrary text, and the indexed operand scanner against the
// literal one.
//
// The first line of the input is a header line and every later line a row
// line. The table that def and newline build must match a straightforward
// reading of the header and row rules, keep one cell per column with the
// kind its type word asks for, and print exactly as the printed form says,
// whether through operator<< or through print_table in small chunks.
//
// The whole input is also read as a call text: the lexer's keyword,
// operands and splits (answered from an index of the line, as lists of
// pieces) must give the same texts as the plain rules on strings, down
// through nested calls.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/unit/plain_rules.h"
#include "engine/query_text.h"
#include "engine/show_text.h"
#include "table.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz_table: %s\n  %s\n", what, show_text(detail).c_str());
  std::abort();
}

// ---- Reference readings ----------------------------------------------------------

struct header {
  std::string name;
  std::vector<std::string> names, types;
};

// The header rules, step by step. Empty when the line runs out before its
// column list is closed, a case the rules leave open.
std::optional<header> reference_def(std::string_view line) {
  header h;
  const std::size_t open = line.find('(');
  if (open == std::string_view::npos) {
    h.name = line;  // the documented reading: all name, no columns
    return h;
  }
  h.name = line.substr(0, open);
  std::size_t pos = open;
  for (;;) {
    if (pos >= line.size()) return std::nullopt;
    if (line[pos] == ')') break;
    ++pos;
    std::string d;
    int depth = 0;
    for (;;) {
      if (pos >= line.size()) return std::nullopt;
      const char c = line[pos];
      if (c == ',') break;
      if (c == ')' && depth == 0) break;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      d += c;
      ++pos;
    }
    std::size_t i = 0;
    while (i < d.size() && d[i] == ' ') ++i;
    std::size_t j = i;
    while (j < d.size() && d[j] != ' ') ++j;
    h.names.push_back(d.substr(i, j - i));
    while (j < d.size() && d[j] == ' ') ++j;
    std::size_t k = j;
    while (k < d.size() && d[k] != ' ') ++k;
    h.types.push_back(d.substr(j, k - j));
  }
  return h;
}

// atoi, with values beyond 32 bits held at the nearest end of the range.
int32_t reference_atoi(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > (1LL << 40)) v = 1LL << 40;
  }
  if (neg) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

row reference_row(std::string_view line, const std::vector<std::string>& types) {
  row r;
  std::size_t pos = 0;
  for (const std::string& type : types) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == ',')) ++pos;
    std::string value;
    int quotes = 0;
    while (pos < line.size()) {
      const char c = line[pos];
      if ((c == ' ' || c == ',') && quotes != 1) break;
      if (c == '\'') ++quotes;
      value += c;
      ++pos;
    }
    if (pos < line.size()) ++pos;
    if (type == "int") {
      r.emplace_back(static_cast<int>(reference_atoi(value)));
    } else {
      r.emplace_back(value);
    }
  }
  return r;
}

bool same_cell(const t_object& x, const t_object& y) {
  return x.is_int == y.is_int && x.ival == y.ival && x.sval == y.sval;
}

std::string reference_print(const table& t) {
  std::string out = t.name + "(";
  for (std::size_t i = 0; i < t.colnames.size(); ++i) {
    if (i > 0) out += ", ";
    out += t.colnames[i] + " " + t.coltypes[i];
  }
  out += ")\n";
  for (const row& r : t.rows) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      if (i > 0) out += ',';
      out += r[i].is_int ? std::to_string(r[i].ival) : r[i].sval;
    }
    out += '\n';
  }
  return out;
}

void check_table(std::string_view input) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos <= input.size()) {
    std::size_t end = input.find('\n', pos);
    if (end == std::string_view::npos) end = input.size();
    lines.push_back(input.substr(pos, end - pos));
    pos = end + 1;
  }

  table t;
  t.def(std::string(lines[0]));
  if (t.colnames.size() != t.coltypes.size()) fail("column names and types differ in number", lines[0]);
  if (const auto h = reference_def(lines[0])) {
    if (t.name != h->name) fail("header name differs from the header rules", lines[0]);
    if (t.colnames != h->names) fail("column names differ from the header rules", lines[0]);
    if (t.coltypes != h->types) fail("type words differ from the header rules", lines[0]);
  } else {
    // The list never closes; at least the name is settled.
    if (t.name != lines[0].substr(0, lines[0].find('('))) fail("header name wrong", lines[0]);
  }

  // A header of many empty columns over many row lines would make millions
  // of cells; keep each input cheap so the fuzzer stays fast.
  const std::size_t width = t.colnames.size() + 1;
  if (width * lines.size() > (1u << 16)) lines.resize(std::max<std::size_t>(1, (1u << 16) / width));

  table viewed = t;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    t.newline(std::string(lines[i]));
    viewed.append_row(lines[i]);
    const row& got = t.rows.back();
    if (got.size() != t.colnames.size()) fail("row width differs from the column count", lines[i]);
    const row want = reference_row(lines[i], t.coltypes);
    for (std::size_t c = 0; c < got.size(); ++c) {
      if (got[c].is_int != (t.coltypes[c] == "int")) fail("cell kind differs from its type word", lines[i]);
      if (!same_cell(got[c], want[c])) fail("cell differs from the row rules", lines[i]);
      if (!same_cell(got[c], viewed.rows.back()[c])) fail("append_row differs from newline", lines[i]);
    }
  }
  if (t.rows.size() != lines.size() - 1) fail("row count differs from the row lines", input);

  const std::string want = reference_print(t);
  std::ostringstream os;
  os << t;
  if (os.str() != want) fail("operator<< differs from the printed form", want);
  std::string chunks;
  std::string buf;
  print_table(t, buf, [&chunks](std::string& b) { chunks += b; b.clear(); }, 7);
  chunks += buf;
  if (chunks != want) fail("print_table differs from the printed form", want);
}

// ---- The operand scanner -------------------------------------------------------------

// Compares the lexer's answers on t (whose bytes, blanks dropped, are
// `text`) with the plain rules and, through a bounded number of pieces, on
// the parts and operands it splits into.
void check_piece(text_reader& texts, const query_text& t, const std::string& text, int& budget) {
  if (--budget < 0) return;
  if (texts.bytes(t) != without_blanks(text)) fail("the bytes of a piece differ", text);

  const std::vector<query_text> parts = texts.split_all(t);
  const std::vector<std::string> plain_parts = plain_split_all(text);
  if (parts.size() != plain_parts.size()) fail("split_all: number of parts differs", text);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (texts.bytes(parts[k]) != without_blanks(plain_parts[k])) fail("split_all: a part differs", text);
  }

  const auto [a, b] = texts.split_first(t);
  const auto [sa, sb] = plain_split(text);
  if (texts.bytes(a) != without_blanks(sa)) fail("split_first: first part differs", text);
  if (texts.bytes(b) != without_blanks(sb)) fail("split_first: second part differs", text);

  // No reading asks for the operands of a text that dropped commas and may
  // fall below depth 0 (only the whole line falls, and it drops none).
  if (t.unbalanced && t.drop_commas) return;
  const uint32_t open = texts.first_open(t);
  const std::size_t p = text.find('(');
  if ((open == kNoPos) != (p == std::string::npos)) fail("first_open: presence of a ( differs", text);
  if (open == kNoPos) return;
  if (texts.bytes(t, open) != without_blanks(text.substr(0, p))) fail("the keyword differs", text);
  const query_text o = texts.operands(t, open);
  const std::string operands = plain_operands(text);
  if (texts.bytes(o) != operands) fail("operands differ", text);

  if (sa.size() < text.size()) check_piece(texts, a, sa, budget);
  if (sb.size() < text.size() && !sb.empty()) check_piece(texts, b, sb, budget);
  if (operands.size() < text.size()) check_piece(texts, o, operands, budget);
}

void check_scanner(std::string_view input) {
  const query_line line(input);
  text_reader texts(line);
  int budget = 64;
  check_piece(texts, texts.whole(), std::string(input), budget);
  // Calls inside a query are read from operand texts, which have no blanks
  // and never fall below depth 0.
  const std::string inner = "W(" + plain_operands(input) + ")";
  const query_line inner_line(inner);
  text_reader inner_texts(inner_line);
  const query_text w = inner_texts.whole();
  budget = 64;
  check_piece(inner_texts, inner_texts.operands(w, inner_texts.first_open(w)), plain_operands(inner), budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_table(input);
  check_scanner(input);
  return 0;
}
