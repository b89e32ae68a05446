#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "settings/constants.h"
#include "settings/json_text.h"

// How the CapCut exporter reads and writes CapCut's JSON files, and the units those files use.

// The value of a CapCut JSON text, or nothing when it is not usable: invalid JSON or UTF-8, or a
// text that starts with a byte-order mark (CapCut never writes one).
std::optional<Json> parse_capcut_json(const std::string& bytes);

// The value of a CapCut JSON file, or nothing when the file is missing, cannot be read or its
// text is not usable.
std::optional<Json> read_capcut_json(const std::filesystem::path& path);

// Replaces the file with the CapCut file form of `value` (two-space indent, raw non-ASCII, no
// final line feed) through a temporary file and a rename; throws on failure, the old file stays.
void write_capcut_json(const std::filesystem::path& path, const Json& value);

// Seconds as whole microseconds, the nearest integer with ties to the even neighbour.
long long microseconds_of(double seconds);

// The current time since the Unix epoch, fraction dropped.
long long unix_time_seconds();
long long unix_time_ms();

// The frame of the `resolution` setting; throws when it names no known frame.
FrameSize frame_of(const Json& cfg);

// The path text with every backslash turned into a forward slash, as CapCut writes its paths.
std::string with_forward_slashes(std::string path_text);
