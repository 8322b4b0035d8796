// Messages as values, formatted only at the edges. A diagnostic has a
// severity, a place (a line of the input and a byte range of it; or none),
// its text and the name it suggests, if any. Its text form is the one
// compilers use: a first line that stands alone and can be grepped,
// `relalg: INPUT:LINE:COL: error: MESSAGE` (or `warning:`, `note:`), then
// the line it is about (a window of it when the line is long) and a caret
// line: "^" under the first byte of the text it is about and "~" under the
// rest. Bytes a terminal would not show as one column each are shown as
// \xHH, with the caret line widened to match. A message without a place is
// the one line `relalg: MESSAGE` (`relalg: warning: ...`, `relalg: note:
// ...`). Its JSON form is one object on one line, for tools and the page.
//
// Also the suggestions messages make: the nearest names by edit distance.
#ifndef RELALG_ENGINE_DIAGNOSTIC_H
#define RELALG_ENGINE_DIAGNOSTIC_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/plan.h"

enum class severity : uint8_t { error, warning, note };

struct diagnostic {
  severity level = severity::error;
  uint32_t line = 1;   // 1-based line of the input; 0 for a message without a place
  source_span span;    // byte range within that line
  std::string message;
  std::string suggestion;  // the name a "did you mean" proposes, or empty
  std::string group;   // warnings alike (of one kind about one table), counted together

  bool placed() const { return line > 0; }
};

// A message without a place.
diagnostic unplaced(severity level, std::string message);

// The text form of d: for a placed one, the three lines about `text`, the
// line's bytes as written (without its line end); else the one line. Each
// line is ended by "\n". Blanks at the edges of the span are left out of
// the caret.
std::string format_diagnostic(std::string_view input_name, std::string_view text,
                              const diagnostic& d);

// The JSON form of d, one object ended by "\n": "severity" ("error",
// "warning" or "note"), "message", "file" (input_name; null without a
// place), "line", "column" (bytes from 1, as in the text form) and "length"
// (bytes under the caret; all three 0 without a place), and "suggestion"
// when there is one.
std::string diagnostic_json(std::string_view input_name, std::string_view text, const diagnostic& d);

// The two forms messages take on standard error.
enum class message_form : uint8_t { text, json };

// d in that form, about `input` (the whole input text: line 1 is the
// query), whose line it shows.
std::string render_diagnostic(message_form form, std::string_view input_name, std::string_view input,
                              const diagnostic& d);

// Line `line` (from 1) of input, without its line feed; empty past the end.
std::string_view line_of(std::string_view input, uint32_t line);

// The names of candidates nearest to name by edit distance, near enough to
// be a likely slip, nearest first (at most three); none for an empty name.
std::vector<std::string> nearest_names(std::string_view name,
                                       const std::vector<std::string>& candidates);

// "; did you mean 'a'?" or "; did you mean 'a' or 'b'?" for the nearest of
// candidates, or nothing; with `nearest`, also the nearest name itself (the
// diagnostic's suggestion), or empty.
std::string did_you_mean(std::string_view name, const std::vector<std::string>& candidates,
                         std::string* nearest = nullptr);

#endif
