// Messages about the input, in the form compilers use: a first line that
// stands alone and can be grepped, `relalg: INPUT:LINE:COL: error: MESSAGE`
// (or `warning:`), then the line it is about (a window of it when the line
// is long) and a caret line: "^" under the first byte of the text it is
// about and "~" under the rest. Bytes a terminal would not show as one
// column each are shown as \xHH, with the caret line widened to match.
//
// Also the suggestions messages make: the nearest names by edit distance.
#ifndef RELALG_ENGINE_DIAGNOSTIC_H
#define RELALG_ENGINE_DIAGNOSTIC_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/plan.h"

enum class severity : uint8_t { error, warning };

struct diagnostic {
  severity level = severity::error;
  uint32_t line = 1;   // 1-based line of the input
  source_span span;    // byte range within that line
  std::string message;
  std::string group;   // warnings alike (of one kind about one table), counted together
};

// The three lines of d about `text`, the line's bytes as written (without
// its line end), each ended by "\n". Blanks at the edges of the span are
// left out of the caret.
std::string format_diagnostic(std::string_view input_name, std::string_view text,
                              const diagnostic& d);

// The names of candidates nearest to name by edit distance, near enough to
// be a likely slip, nearest first (at most three); none for an empty name.
std::vector<std::string> nearest_names(std::string_view name,
                                       const std::vector<std::string>& candidates);

// "; did you mean 'a'?" or "; did you mean 'a' or 'b'?" for the nearest of
// candidates, or nothing.
std::string did_you_mean(std::string_view name, const std::vector<std::string>& candidates);

#endif
