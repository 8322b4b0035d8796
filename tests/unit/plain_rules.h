// The reading rules of queries and conditions on plain strings, written as
// simply as they can be: the yardstick for the lexer's answers in tests and
// fuzz targets.
#ifndef RELALG_TESTS_PLAIN_RULES_H
#define RELALG_TESTS_PLAIN_RULES_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The operand text of a call: from the first "(", blanks dropped, every
// byte at depth 1 or more kept but the parentheses that open and close
// depth 1.
inline std::string plain_operands(std::string_view text) {
  std::string out;
  const std::size_t p = text.find('(');
  if (p == std::string_view::npos) return out;
  long depth = 0;
  for (std::size_t i = p; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ') continue;
    if (c == '(') {
      if (++depth >= 2) out += c;
    } else if (c == ')') {
      if (--depth >= 1) out += c;
    } else if (depth >= 1) {
      out += c;
    }
  }
  return out;
}

// Splits at the first comma of depth 0 and drops the later ones.
inline std::pair<std::string, std::string> plain_split(std::string_view text) {
  std::pair<std::string, std::string> parts;
  std::string* cur = &parts.first;
  long depth = 0;
  for (const char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      cur = &parts.second;
      continue;
    }
    *cur += c;
  }
  return parts;
}

// The parts between the commas of depth 0.
inline std::vector<std::string> plain_split_all(std::string_view text) {
  std::vector<std::string> parts(1);
  long depth = 0;
  for (const char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  return parts;
}

inline std::string without_blanks(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ') out += c;
  }
  return out;
}

#endif
