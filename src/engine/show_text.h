// How messages show a text from the input: quoted, bytes below 32 and 127
// as \xHH, cut after 120 bytes with the full length added. And how a
// formula or a comment shows one: whole, every invisible byte as \xHH.
#ifndef RELALG_ENGINE_SHOW_TEXT_H
#define RELALG_ENGINE_SHOW_TEXT_H

#include <string>
#include <string_view>

std::string show_text(std::string_view text);

// The text with every byte that would not show as itself written \xHH:
// bytes below 32 and 127, bytes that are not part of valid UTF-8, and the
// UTF-8 of the C1 controls (U+0080 to U+009F) and of U+FEFF.
std::string visible_text(std::string_view text);

#endif
