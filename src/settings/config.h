#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// The settings object: an ordered JSON object whose first eight keys are always output_folder,
// silence_threshold, silence_duration, suffix, trim_silence, trim_padding, resolution and
// add_padding; further keys from the settings file follow them.

Json default_cfg(const std::filesystem::path& desktop);

// Defaults, overlaid with the settings file in its order; `resolution` always starts portrait.
// Never fails: an unreadable or broken file leaves the defaults.
Json load_cfg(const FixedPaths& paths = fixed_paths());

// Writes the settings file in its indented layout, atomically; failures are ignored.
void save_cfg(const Json& cfg, const FixedPaths& paths = fixed_paths());

// The keys a user may add after the eight: cut_pauses, pause_min, pause_keep (jump cuts) and
// loudness_target. Absent means their default, so neither the default settings nor their file
// hold them until they are set; null sets one back to its default by removing it.
extern const std::vector<std::string> ADDED_KEYS;
bool is_added_key(const std::string& key);

// Stores `value` under the added key `key`, at the end when it is new; null removes the key.
void set_added_key(Json& cfg, const std::string& key, const Json& value);

// The failure for a settings value the jobs cannot use: "Ungültiger Wert für <key>: <value>".
std::runtime_error invalid_setting(const std::string& key, const Json& value);

// An added key as a JSON number: nothing when absent or null. Throws invalid_setting for anything
// but a number from `low` to `high`.
std::optional<double> added_number(const Json& cfg, const std::string& key, double low,
                                   double high);

// loudness_target in LUFS: nothing when absent or null (off). Throws invalid_setting for
// anything but a number from -70 to 0.
std::optional<double> loudness_target_of(const Json& cfg);
