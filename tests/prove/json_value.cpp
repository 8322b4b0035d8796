// The test JSON reader: recursive descent over the text.
#include "json_value.h"

#include <cctype>

namespace testjson {

namespace {

struct reader {
  const std::string& t;
  std::size_t i = 0;

  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(i));
  }
  void blanks() {
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
  }
  bool eat(char c) {
    blanks();
    if (i < t.size() && t[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  std::string string_body() {
    std::string out;
    while (i < t.size() && t[i] != '"') {
      if (t[i] == '\\') {
        if (++i >= t.size()) fail("unfinished escape");
        const char e = t[i++];
        if (e == 'u') {
          const unsigned cp = static_cast<unsigned>(std::stoul(t.substr(i, 4), nullptr, 16));
          i += 4;
          if (cp < 0x80) {
            out += static_cast<char>(cp);
          } else {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
          }
        } else {
          out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
      } else {
        out += t[i++];
      }
    }
    if (i >= t.size()) fail("unfinished string");
    ++i;
    return out;
  }
  value any() {
    blanks();
    if (i >= t.size()) fail("unexpected end");
    value v;
    const char c = t[i];
    if (c == '{') {
      ++i;
      v.t = value::type::object;
      if (eat('}')) return v;
      do {
        if (!eat('"')) fail("expected a key");
        const std::string k = string_body();
        if (!eat(':')) fail("expected ':'");
        v.fields[k] = any();
      } while (eat(','));
      if (!eat('}')) fail("expected '}'");
    } else if (c == '[') {
      ++i;
      v.t = value::type::array;
      if (eat(']')) return v;
      do v.items.push_back(any());
      while (eat(','));
      if (!eat(']')) fail("expected ']'");
    } else if (c == '"') {
      ++i;
      v.t = value::type::string;
      v.s = string_body();
    } else if (t.compare(i, 4, "true") == 0 || t.compare(i, 5, "false") == 0) {
      v.t = value::type::boolean;
      v.b = t[i] == 't';
      i += v.b ? 4 : 5;
    } else if (t.compare(i, 4, "null") == 0) {
      i += 4;
    } else {
      std::size_t used = 0;
      v.t = value::type::number;
      v.n = std::stoll(t.substr(i, 24), &used);
      i += used;
    }
    return v;
  }
};

}  // namespace

const value& value::operator[](const std::string& key) const {
  const auto it = fields.find(key);
  if (it == fields.end()) throw std::runtime_error("JSON: no field '" + key + "'");
  return it->second;
}

value parse(const std::string& text) {
  reader r{text};
  value v = r.any();
  r.blanks();
  if (r.i != text.size()) r.fail("text after the value");
  return v;
}

}  // namespace testjson
