// Rendering messages with an excerpt and a caret, and edit distances for
// suggestions.
#include "engine/diagnostic.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/json.h"
#include "engine/show_text.h"

namespace {

constexpr uint32_t kWindow = 100;  // bytes of a long line shown at most

const char* severity_word(severity s) {
  switch (s) {
    case severity::error: return "error";
    case severity::warning: return "warning";
    case severity::note: return "note";
  }
  return "error";
}

// The bytes of text the caret stands under: the span, cut to the line,
// without blanks at its edges.
source_span caret_span(std::string_view text, source_span span) {
  const auto size = static_cast<uint32_t>(text.size());
  uint32_t begin = std::min(span.begin, size);
  uint32_t end = std::min(std::max(span.end, begin), size);
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return {begin, end};
}

}  // namespace

diagnostic unplaced(severity level, std::string message) {
  diagnostic d;
  d.level = level;
  d.line = 0;
  d.message = std::move(message);
  return d;
}

std::string diagnostic_json(std::string_view input_name, std::string_view text, const diagnostic& d) {
  std::string out = "{\"severity\":\"";
  out += severity_word(d.level);
  out += "\",\"message\":";
  append_json_string(out, d.message);
  out += ",\"file\":";
  if (d.placed()) {
    const source_span at = caret_span(text, d.span);
    append_json_string(out, input_name);
    out += ",\"line\":" + std::to_string(d.line) + ",\"column\":" + std::to_string(at.begin + 1) +
           ",\"length\":" + std::to_string(at.end - at.begin);
  } else {
    out += "null,\"line\":0,\"column\":0,\"length\":0";
  }
  if (!d.suggestion.empty()) {
    out += ",\"suggestion\":";
    append_json_string(out, d.suggestion);
  }
  out += "}\n";
  return out;
}

std::string format_diagnostic(std::string_view input_name, std::string_view text,
                              const diagnostic& d) {
  if (!d.placed()) {
    return std::string("relalg: ") + (d.level == severity::error ? "" : std::string(severity_word(d.level)) + ": ") +
           d.message + "\n";
  }
  const auto size = static_cast<uint32_t>(text.size());
  const source_span at = caret_span(text, d.span);
  const uint32_t begin = at.begin;
  const uint32_t end = at.end;
  std::string out = "relalg: " + std::string(input_name) + ":" + std::to_string(d.line) + ":" +
                    std::to_string(begin + 1) + ": " + severity_word(d.level) + ": " + d.message + "\n";

  // The window: the whole line when it is short, else 100 bytes that hold
  // the start of the span, some of what leads up to it, and as much of the
  // span as fits.
  uint32_t from = 0;
  uint32_t to = size;
  if (size > kWindow) {
    from = begin > kWindow / 3 ? begin - kWindow / 3 : 0;
    to = std::min(size, from + kWindow);
    if (to - from < kWindow) from = to - kWindow;
  }
  std::string shown;
  std::string caret;
  if (from > 0) {
    shown += "...";
    caret += "   ";
  }
  for (uint32_t i = from; i < to;) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::string piece;
    uint32_t used = 1;
    if (b >= 32 && b < 127) {
      piece.assign(1, static_cast<char>(b));
    } else if (const auto n = static_cast<uint32_t>(b >= 0x80 ? visible_length(text, i) : 0); n > 0 && i + n <= to) {
      piece.assign(text.substr(i, n));
      used = n;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", b);
      piece = buf;
    }
    // A multi-byte character shows as one column; an escape as its length.
    const std::size_t width = used > 1 ? 1 : piece.size();
    char mark = ' ';
    if (i >= begin && i < std::max(end, begin + 1)) mark = i == begin ? '^' : '~';
    shown += piece;
    caret.append(1, mark);
    if (width > 1) caret.append(width - 1, mark == '^' ? '~' : mark);
    i += used;
  }
  if (to < size) shown += "...";
  if (begin >= to) caret += to < size ? "   ^" : "^";  // the span starts past the shown bytes
  while (!caret.empty() && caret.back() == ' ') caret.pop_back();
  out += shown + "\n" + caret + "\n";
  return out;
}

std::string_view line_of(std::string_view input, uint32_t line) {
  std::size_t from = 0;
  for (uint32_t k = 1; k < line && from <= input.size(); ++k) {
    const std::size_t nl = input.find('\n', from);
    from = nl == std::string_view::npos ? input.size() + 1 : nl + 1;
  }
  if (from > input.size()) return {};
  const std::size_t end = input.find('\n', from);
  return input.substr(from, (end == std::string_view::npos ? input.size() : end) - from);
}

std::string render_diagnostic(message_form form, std::string_view input_name, std::string_view input,
                              const diagnostic& d) {
  const std::string_view line = d.placed() ? line_of(input, d.line) : std::string_view();
  return form == message_form::json ? diagnostic_json(input_name, line, d) : format_diagnostic(input_name, line, d);
}

namespace {

// Levenshtein distance, stopping early once it exceeds `limit`.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
  if (a.size() > b.size()) std::swap(a, b);
  if (b.size() - a.size() > limit) return limit + 1;
  std::vector<std::size_t> row(a.size() + 1);
  for (std::size_t i = 0; i <= a.size(); ++i) row[i] = i;
  for (std::size_t j = 1; j <= b.size(); ++j) {
    std::size_t diag = row[0];
    row[0] = j;
    std::size_t best = row[0];
    for (std::size_t i = 1; i <= a.size(); ++i) {
      const std::size_t up = row[i];
      const bool same = a[i - 1] == b[j - 1] ||
                        (std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                         std::tolower(static_cast<unsigned char>(b[j - 1])));
      row[i] = std::min({row[i] + 1, row[i - 1] + 1, diag + (same ? 0 : 1)});
      diag = up;
      best = std::min(best, row[i]);
    }
    if (best > limit) return limit + 1;
  }
  return row[a.size()];
}

}  // namespace

std::vector<std::string> nearest_names(std::string_view name,
                                       const std::vector<std::string>& candidates) {
  std::vector<std::string> out;
  if (name.empty()) return out;
  // A slip is a few edits, fewer for short names; letter case costs none,
  // so 'Students' finds 'students'.
  const std::size_t limit = std::max<std::size_t>(1, std::min<std::size_t>(3, name.size() / 3));
  std::vector<std::pair<std::size_t, std::string>> near;
  for (const std::string& c : candidates) {
    if (c == name || c.size() > name.size() + limit + 64) continue;
    // A name that differs only in letter case (distance 0) comes first.
    const std::size_t d = edit_distance(name, c, limit);
    if (d <= limit) near.emplace_back(d, c);
  }
  std::sort(near.begin(), near.end());
  for (std::size_t i = 0; i < near.size() && i < 3; ++i) {
    if (near[i].first > near[0].first) break;
    out.push_back(near[i].second);
  }
  return out;
}

std::string did_you_mean(std::string_view name, const std::vector<std::string>& candidates,
                         std::string* nearest) {
  const std::vector<std::string> near = nearest_names(name, candidates);
  if (nearest != nullptr) *nearest = near.empty() ? std::string() : near.front();
  if (near.empty()) return {};
  std::string out = "; did you mean ";
  for (std::size_t i = 0; i < near.size(); ++i) {
    if (i > 0) out += i + 1 == near.size() ? " or " : ", ";
    out += show_text(near[i]);
  }
  return out + "?";
}
