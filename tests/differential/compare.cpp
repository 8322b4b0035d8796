// The comparison of two runs and its report of the first difference.
#include "compare.h"

#include <algorithm>
#include <cstdio>

#include "engine/loader.h"
#include "engine/pipeline.h"
#include "reference.h"

namespace diff {

std::string shown(std::string_view s, std::size_t limit) {
  std::string out;
  for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (s.size() > limit) out += "... (" + std::to_string(s.size()) + " bytes)";
  return out;
}

namespace {

// The line of text that holds byte `at`.
std::string_view line_at(std::string_view text, std::size_t at) {
  if (at >= text.size()) return "<end of output>";
  const std::size_t from = at == 0 ? 0 : text.rfind('\n', at - 1);
  const std::size_t start = from == std::string_view::npos || at == 0 ? 0 : from + 1;
  const std::size_t end = std::min(text.find('\n', at), text.size());
  return text.substr(start, end - start);
}

}  // namespace

::testing::AssertionResult same_run(int got_status, std::string_view got, int want_status,
                                    std::string_view want) {
  if (got_status == want_status && got == want) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  if (got_status != want_status) {
    failure << "status " << got_status << ", the reference's " << want_status << "; ";
  }
  if (got != want) {
    const auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    const auto at = static_cast<std::size_t>(g - got.begin());
    const auto line = 1 + std::count(got.begin(), g, '\n');
    failure << "output differs at byte " << at << " (line " << line << "; sizes " << got.size()
            << " and " << want.size() << ")\n  program:   " << shown(line_at(got, at))
            << "\n  reference: " << shown(line_at(want, at));
  }
  return failure;
}

::testing::AssertionResult engine_matches_reference(std::string_view input, bool extended) {
  run_options options;
  options.extended = extended;
  const run_result got = run_text(input, options);
  const ref::outcome want = ref::run_text(input, extended);
  return same_run(got.status, got.output, want.status, want.output);
}

std::size_t result_lines(std::string_view input, std::string_view output) {
  const std::size_t echo = input.size() + echo_suffix(input).size();
  if (output.size() <= echo) return 0;
  const std::string_view rest = output.substr(echo);
  return static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n'));
}

}  // namespace diff
