// Writing JSON string literals.
#include "engine/json.h"

#include "engine/show_text.h"

void append_json_string(std::string& out, std::string_view s, json_del del) {
  static const char* const hex = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      const std::size_t n = utf8_sequence(s, i);
      if (n > 0) {
        out.append(s.substr(i, n));
        i += n;
      } else {
        // The code point U+00XX, written in UTF-8.
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
        ++i;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || (c == 0x7F && del == json_del::escaped)) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
}

std::string json_string(std::string_view s, json_del del) {
  std::string out;
  append_json_string(out, s, del);
  return out;
}
