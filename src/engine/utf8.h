// UTF-8 as messages, JSON and the page read it: how many bytes of a valid
// sequence start at a position. Text is bytes everywhere else; only what is
// shown to people looks for characters.
#ifndef RELALG_ENGINE_UTF8_H
#define RELALG_ENGINE_UTF8_H

#include <cstddef>
#include <string_view>

// The length of the valid UTF-8 sequence of two to four bytes that starts
// at s[i], or 0 (an ASCII byte, or bytes that are not UTF-8).
inline std::size_t utf8_length(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

#endif
