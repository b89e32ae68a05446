#pragma once

#include <filesystem>

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
