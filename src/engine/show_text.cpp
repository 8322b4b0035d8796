// show_text: a short, printable rendering of a text for messages; and
// visible_text, a whole one.
#include "engine/show_text.h"

#include <cstdint>
#include <cstdio>

namespace {

// Code points that show nothing, or reorder what follows, in a terminal.
bool invisible(std::uint32_t cp) {
  return (cp >= 0x80 && cp <= 0x9F) || cp == 0xAD || cp == 0x34F || cp == 0x61C || cp == 0x115F ||
         cp == 0x1160 || cp == 0x17B4 || cp == 0x17B5 || (cp >= 0x180B && cp <= 0x180F) ||
         (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x206F) || cp == 0x3164 || cp == 0xFEFF || cp == 0xFFA0 ||
         (cp >= 0xFFF0 && cp <= 0xFFFB) || (cp >= 0xE0000 && cp <= 0xE0FFF);
}

void escape_byte(std::string& out, unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02x", c);
  out += buf;
}

void append_escaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = visible_length(text, i);
    if (n == 0) {
      escape_byte(out, static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
}

}  // namespace

std::size_t utf8_sequence(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (c < 0x80) {
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  }
  return n;
}

std::size_t visible_length(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return c >= 32 && c != 127 ? 1 : 0;
  const std::size_t n = utf8_sequence(s, i);
  if (n == 0) return 0;
  std::uint32_t cp = c & (0xFF >> (n + 1));
  for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return invisible(cp) ? 0 : n;
}

std::string visible_text(std::string_view text) {
  std::string out;
  append_escaped(out, text);
  return out;
}

std::string quoted_path(std::string_view path) {
  std::string out = "'";
  append_escaped(out, path);
  out += '\'';
  return out;
}

std::string show_text(std::string_view text) {
  constexpr std::size_t limit = 120;
  std::string out = "'";
  append_escaped(out, text.substr(0, limit));
  out += '\'';
  if (text.size() > limit) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

