// JSON strings as every JSON the program writes has them (explain output,
// diagnostics, grading's reports): UTF-8 passes as it is, and a byte that
// is not part of valid UTF-8 stands for the code point of the same number
// (U+0080 to U+00FF), so any bytes make a valid document.
#ifndef RELALG_ENGINE_JSON_H
#define RELALG_ENGINE_JSON_H

#include <string>
#include <string_view>

// Appends s as a JSON string literal, quotes included.
void append_json_string(std::string& out, std::string_view s);

// s as a JSON string literal.
std::string json_string(std::string_view s);

#endif
