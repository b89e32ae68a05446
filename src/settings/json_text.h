#pragma once

#include <string>

#include <nlohmann/json.hpp>

// The one JSON value type: objects keep their member order.
using Json = nlohmann::ordered_json;

// The compact one-line form of the protocol: ", " and ": " separators, non-ASCII characters as
// themselves, doubles in their shortest round-trip form (3.0 stays 3.0). No line feed.
std::string json_line_text(const Json& value);

// The indented form of the settings and project files: two spaces per level, one member or
// element per line, [] and {} for empty containers, no final line feed.
std::string json_file_text(const Json& value);

// The deepest nesting of arrays and objects that parse_json accepts: far beyond anything the
// frontend, the settings or CapCut write, and it bounds what deeper values would cost (the
// indented form of a value grows with the square of its depth).
constexpr size_t MAX_JSON_DEPTH = 512;

// Parses a JSON text; throws on invalid JSON (including invalid UTF-8 inside strings and a
// leading byte-order mark), on a NUL byte anywhere in the text and on nesting deeper than
// MAX_JSON_DEPTH.
Json parse_json(const std::string& text);

// The value as plain text: a string unchanged, anything else in the compact form.
std::string json_plain_text(const Json& value);

// Python-like truth of a JSON value: null, false, 0, "", [] and {} are empty.
bool json_is_empty(const Json& value);

// A payload member as an integer: numbers lose their fraction, booleans count as 0 and 1, a text
// holding a whole number is read as that number; numbers beyond the range of long long saturate.
// Throws on anything else.
long long json_to_integer(const Json& value);
