// Rendering messages with an excerpt and a caret, and edit distances for
// suggestions.
#include "engine/diagnostic.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/show_text.h"

namespace {

constexpr uint32_t kWindow = 100;  // bytes of a long line shown at most

}  // namespace

std::string format_diagnostic(std::string_view input_name, std::string_view text,
                              const diagnostic& d) {
  const auto size = static_cast<uint32_t>(text.size());
  uint32_t begin = std::min(d.span.begin, size);
  uint32_t end = std::min(std::max(d.span.end, begin), size);
  // The caret stands under the text, not under blanks around it.
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::string out = "relalg: " + std::string(input_name) + ":" + std::to_string(d.line) + ":" +
                    std::to_string(begin + 1) + ": " +
                    (d.level == severity::error ? "error: " : "warning: ") + d.message + "\n";

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

std::string did_you_mean(std::string_view name, const std::vector<std::string>& candidates) {
  const std::vector<std::string> near = nearest_names(name, candidates);
  if (near.empty()) return {};
  std::string out = "; did you mean ";
  for (std::size_t i = 0; i < near.size(); ++i) {
    if (i > 0) out += i + 1 == near.size() ? " or " : ", ";
    out += show_text(near[i]);
  }
  return out + "?";
}
