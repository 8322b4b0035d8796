// Holding the program's output against the reference's: byte for byte and
// status for status, with a short report of the first difference (large
// outputs are never dumped whole).
#ifndef RELALG_DIFFERENTIAL_COMPARE_H
#define RELALG_DIFFERENTIAL_COMPARE_H

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace diff {

// Sanitizer builds run the large inputs at a smaller scale.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Bytes below 32, 127 and above as \xHH; at most `limit` bytes shown.
std::string shown(std::string_view s, std::size_t limit = 160);

// Success when the two outputs and statuses agree; otherwise where they
// part: byte offset, line number, and the two lines there.
::testing::AssertionResult same_run(int got_status, std::string_view got, int want_status,
                                    std::string_view want);

// Runs the program's in-process entry and the reference on one input and
// compares them.
::testing::AssertionResult engine_matches_reference(std::string_view input, bool extended = false);

// The number of lines of the result table in an output whose echo is of
// `input` (0 when the output holds no more than the echo).
std::size_t result_lines(std::string_view input, std::string_view output);

}  // namespace diff

#endif
