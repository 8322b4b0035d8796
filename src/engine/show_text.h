// How messages show a text from the input: quoted, cut after 120 bytes with
// the full length added, and every invisible character shown as \xHH, byte
// by byte: control bytes (below 32, and 127), bytes that are not part of
// valid UTF-8, and code points that take no visible room or change the
// direction of the text (C1 controls, the byte order mark, zero-width and
// bidirectional formatting characters, line and paragraph separators).
// Visible UTF-8 text is shown as it is. And how a path, a formula or a
// comment shows one: whole, with the same escapes.
#ifndef RELALG_ENGINE_SHOW_TEXT_H
#define RELALG_ENGINE_SHOW_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

std::string show_text(std::string_view text);

// The text with invisible characters as \xHH, neither quoted nor cut.
std::string visible_text(std::string_view text);

// The same between apostrophes, as messages show a file's path.
std::string quoted_path(std::string_view path);

// The number of bytes of the valid UTF-8 sequence that starts at s[i]
// (overlong forms, surrogates and code points past U+10FFFF are not valid),
// or 0 when none starts there.
std::size_t utf8_sequence(std::string_view s, std::size_t i);

// The number of bytes of the visible character at s[i], which a message
// may show as it is, or 0 when the byte at s[i] is shown as \xHH.
std::size_t visible_length(std::string_view s, std::size_t i);

#endif
