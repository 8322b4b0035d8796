// JSON strings as every JSON the program writes has them (explain output,
// diagnostics, grading's reports): UTF-8 passes as it is, and a byte that
// is not part of valid UTF-8 stands for the code point of the same number
// (U+0080 to U+00FF), so any bytes make a valid document.
#ifndef RELALG_ENGINE_JSON_H
#define RELALG_ENGINE_JSON_H

#include <string>
#include <string_view>

// How DEL (0x7F), which JSON lets stand as it is, is written: as \u007f,
// or raw (grading's reports have always written it so).
enum class json_del : bool { escaped, raw };

// Appends s as a JSON string literal, quotes included.
void append_json_string(std::string& out, std::string_view s, json_del del = json_del::escaped);

// s as a JSON string literal.
std::string json_string(std::string_view s, json_del del = json_del::escaped);

#endif
