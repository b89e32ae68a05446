#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/json_text.h"

// A CapCut project's media list (draft_meta_info.json) and CapCut's list of projects, the
// registry root_meta_info.json beside the project folders.

// The media list `draft_materials` for the clips, in order: one group of type 0 with one entry
// per clip. Runs ffprobe once per clip; throws when a duration cannot be read.
Json build_capcut_draft_materials(const std::vector<std::string>& files, const Json& cfg);

// Rebuilds the media list of `project_dir`/draft_meta_info.json from `files` and sets the
// project's name, location, duration and modification times there, then logs that it did.
// A missing or unreadable file is left alone without a log line; throws on failures after the
// file was read.
void patch_capcut_meta_materials(const std::filesystem::path& project_dir,
                                 const std::vector<std::string>& files, const Json& cfg,
                                 long long duration_us, const std::string& project_name,
                                 const MessageFn& log);

// The registry's previous content is kept in this file beside it whenever the registry is
// replaced.
std::filesystem::path capcut_registry_backup_path(const std::filesystem::path& root_path);

// Adds one entry for the project to the registry at `root_path` (created with its folder when
// absent) and returns true. CapCut's list must never be damaged: a registry that cannot be read
// as JSON, or that offers no list to add to, is left byte for byte and false is returned.
// Throws when the registry cannot be written or its top level is neither an object nor an array.
bool update_capcut_root_meta(const std::filesystem::path& root_path,
                             const std::string& project_name,
                             const std::filesystem::path& project_dir, long long duration_us);
