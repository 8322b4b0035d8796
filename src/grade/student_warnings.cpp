// Warnings rendered for the student's file; the wrapped query found from
// the two lines the submission's reader keeps.
#include "grade/student_warnings.h"

#include "engine/lint.h"
#include "engine/show_text.h"

namespace grade {

std::vector<std::string> render_warnings(const std::vector<diagnostic>& found, std::string_view name,
                                         std::string_view query) {
  std::vector<std::string> out;
  out.reserve(found.size());
  for (const diagnostic& d : found) out.push_back(render_diagnostic(message_form::text, name, query, d));
  return out;
}

std::vector<std::string> student_warnings(const outcome& out, const submission_input& sub) {
  std::vector<std::string> all = out.warnings;
  if (!sub.missing && sub.readable && continues_query(sub.query, sub.second_line)) {
    diagnostic d;
    d.level = severity::warning;
    d.line = 2;
    d.span = {0, static_cast<uint32_t>(sub.second_line.size())};
    d.message =
        "this line closes parentheses that the query on line 1 leaves open: it reads as the rest of the query, "
        "but only line 1 is graded: the whole query must stand on line 1";
    const std::string text = sub.query + "\n" + sub.second_line;
    all.push_back(render_diagnostic(message_form::text, visible_text(sub.path), text, d));
  }
  return all;
}

std::string first_line(const std::string& message) { return message.substr(0, message.find('\n')); }

}  // namespace grade
