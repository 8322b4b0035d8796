// The symbols of the Unicode and LaTeX notations, and names and constants
// as each writes them.
#include "notation/style.h"

#include "engine/show_text.h"

namespace relalg_notation {

namespace {

const style unicode_style{
    "σ ", "π ", "ρ ", " (",
    " × ", " ∪ ", " − ",
    " ∧ ", " ∨ ", "¬",
    " = ", " ≠ ", " < ", " ≤ ", " > ", " ≥ ",
    "true",
    " ⋈ ", " ∩ ", " ÷ ",
    " ⋈[", "] ",
};

const style latex_style{
    "\\sigma_{", "\\pi_{", "\\rho_{", "}(",
    " \\times ", " \\cup ", " - ",
    " \\wedge ", " \\vee ", "\\neg ",
    " = ", " \\neq ", " < ", " \\leq ", " > ", " \\geq ",
    "\\mathrm{true}",
    " \\bowtie ", " \\cap ", " \\div ",
    " \\bowtie_{", "} ",
};


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
