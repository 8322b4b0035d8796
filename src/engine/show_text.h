// How messages show a text from the input: quoted, bytes below 32 and 127
// as \xHH, cut after 120 bytes with the full length added.
#ifndef RELALG_ENGINE_SHOW_TEXT_H
#define RELALG_ENGINE_SHOW_TEXT_H

#include <string>
#include <string_view>

std::string show_text(std::string_view text);

#endif
