// show_text: a short, printable rendering of a text for messages.
#include "engine/show_text.h"

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
