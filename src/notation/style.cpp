// The symbols of the Unicode and LaTeX notations, and names and constants
// as each writes them.
#include "notation/style.h"

#include <cstdio>

namespace relalg_notation {

namespace {

const style unicode_style{
    "σ ", "π ", "ρ ", " (",
    " × ", " ∪ ", " − ",
    " ∧ ", " ∨ ", "¬",
    " = ", " ≠ ", " < ", " ≤ ", " > ", " ≥ ",
    "true",
};

const style latex_style{
    "\\sigma_{", "\\pi_{", "\\rho_{", "}(",
    " \\times ", " \\cup ", " - ",
    " \\wedge ", " \\vee ", "\\neg ",
    " = ", " \\neq ", " < ", " \\leq ", " > ", " \\geq ",
    "\\mathrm{true}",
};

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

// Text-mode TeX for the visible text: every character TeX would read as
// markup, or set as another character (a straight quote as a curly one
// is left: it is TeX's apostrophe), written as the character itself.
std::string latex_text(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    switch (c) {
      case '\\': out += "\\textbackslash{}"; break;
      case '{': out += "\\{"; break;
      case '}': out += "\\}"; break;
      case '_': out += "\\_"; break;
      case '#': out += "\\#"; break;
      case '%': out += "\\%"; break;
      case '&': out += "\\&"; break;
      case '$': out += "\\$"; break;
      case '~': out += "\\textasciitilde{}"; break;
      case '^': out += "\\textasciicircum{}"; break;
      case '<': out += "\\textless{}"; break;
      case '>': out += "\\textgreater{}"; break;
      case '|': out += "\\textbar{}"; break;
      case '-':
        // "--" and "---" would be dashes.
        out += i + 1 < s.size() && s[i + 1] == '-' ? "-{}" : "-";
        break;
      case ' ':
        // TeX drops blanks at the ends of the text and runs them together.
        out += i == 0 || i + 1 == s.size() || s[i - 1] == ' ' ? "\\ " : " ";
        break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

const style& style_of(notation_form form) { return form == notation_form::latex ? latex_style : unicode_style; }

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

std::string name_text(std::string_view name, notation_form form) {
  if (form == notation_form::unicode) return visible_text(name);
  return "\\text{" + latex_text(visible_text(name)) + "}";
}

std::string string_text(std::string_view text, notation_form form) {
  if (form == notation_form::unicode) return visible_text(text);
  // An opening apostrophe set as TeX's opening quote: 'Ada' reads as the
  // quoted word it is.
  std::string body = latex_text(visible_text(text));
  if (!body.empty() && body[0] == '\'') body[0] = '`';
  return "\\text{" + body + "}";
}

std::string integer_text(int32_t v) { return std::to_string(v); }

}  // namespace relalg_notation
