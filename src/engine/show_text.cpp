// show_text: a short, printable rendering of a text for messages; and
// visible_text, a whole one.
#include "engine/show_text.h"

#include <cstdint>
#include <cstdio>

std::string show_text(std::string_view text) {
  constexpr std::size_t limit = 120;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 32 || c == 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '\'';
  if (text.size() > limit) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

namespace {

void append_hex(std::string& out, unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02x", c);
  out += buf;
}

// The length of the valid UTF-8 sequence at text[i] (shortest form, no
// surrogates, at most U+10FFFF), or 0 when the byte there starts none.
std::size_t utf8_length(std::string_view text, std::size_t i, uint32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t n = 0;
  if (c >= 0xc2 && c <= 0xdf) {
    n = 2;
    code = c & 0x1fu;
  } else if (c >= 0xe0 && c <= 0xef) {
    n = 3;
    code = c & 0x0fu;
  } else if (c >= 0xf0 && c <= 0xf4) {
    n = 4;
    code = c & 0x07u;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3fu);
  }
  const bool overlong = (n == 3 && code < 0x800) || (n == 4 && code < 0x10000);
  if (overlong || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) return 0;
  return n;
}

}  // namespace

std::string visible_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t code = 0;
    const std::size_t n = c < 128 ? 0 : utf8_length(text, i, code);
    const bool invisible = n == 0 || (code >= 0x80 && code <= 0x9f) || code == 0xfeff;
    const std::size_t take = n == 0 ? 1 : n;
    if (invisible) {
      for (std::size_t k = 0; k < take; ++k) append_hex(out, static_cast<unsigned char>(text[i + k]));
    } else {
      out.append(text.substr(i, take));
    }
    i += take;
  }
  return out;
}

