#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

#include "settings/constants.h"
#include "settings/json_text.h"

// How the CapCut exporter reads and writes CapCut's JSON files, and the units those files use.

// The value of a CapCut JSON text, or nothing when it is not usable: invalid JSON or UTF-8, or a
// text that starts with a byte-order mark (CapCut never writes one).
std::optional<Json> parse_capcut_json(const std::string& bytes);

// The value of a CapCut JSON file, or nothing when the file is missing, holds more than
// `max_bytes`, cannot be read or its text is not usable.
std::optional<Json> read_capcut_json(
    const std::filesystem::path& path,
    std::uintmax_t max_bytes = std::numeric_limits<std::uintmax_t>::max());

// The names of a project's timeline file: Windows builds before 7.x write the first, later ones
// and the macOS builds the second. The first one present is the main draft.
inline const char* const CAPCUT_DRAFT_FILES[] = {"draft_content.json", "draft_info.json"};

// Replaces the file with the CapCut file form of `value` (two-space indent, raw non-ASCII, no
// final line feed) through a temporary file and a rename; throws on failure, the old file stays.
void write_capcut_json(const std::filesystem::path& path, const Json& value);

// Seconds as whole microseconds, the nearest integer with ties to the even neighbour.
long long microseconds_of(double seconds);

// The current time since the Unix epoch, fraction dropped.
long long unix_time_seconds();
long long unix_time_ms();
long long unix_time_us();

// The units of CapCut's time members (tm_draft_create, tm_draft_modified, update_time and their
// kin): current builds count microseconds since the Unix epoch, older files milliseconds.
enum class TimeUnit { milliseconds, microseconds };

// The unit in which the time member `name` of `object` is written: the unit its value shows,
// else the unit the object's other time members show, else microseconds. Only a positive
// integer shows a unit: 10^15 or more is microseconds, anything less milliseconds.
TimeUnit time_unit_for(const Json& object, const std::string& name);

// When a registry entry was last modified, in microseconds since the epoch whatever unit the
// entry uses, for comparing entries; -1 when it does not say.
long long modified_time_us(const Json& entry);

// A time given in microseconds since the epoch, in `unit`.
long long time_in_unit(long long unix_us, TimeUnit unit);

// Sets each of `names` that `object` already has to the time `unix_us`, each in the unit
// time_unit_for gives it.
void set_time_members(Json& object, std::initializer_list<const char*> names, long long unix_us);

// The frame of the `resolution` setting; throws when it names no known frame.
FrameSize frame_of(const Json& cfg);

// The path text with every backslash turned into a forward slash, as CapCut writes its paths.
std::string with_forward_slashes(std::string path_text);
