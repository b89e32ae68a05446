#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "capcut/capcut_clip.h"
#include "settings/callbacks.h"
#include "settings/json_text.h"

// A CapCut project's media list (draft_meta_info.json) and CapCut's list of projects, the
// registry root_meta_info.json beside the project folders.

// The media list `draft_materials` for the clips, in order: one group of type 0 with one entry
// per clip, whose `id` is the clip's media_id.
Json build_capcut_draft_materials(const std::vector<CapcutClip>& clips);

// The media list for `files`, each probed once; throws when a probe fails.
Json build_capcut_draft_materials(const std::vector<std::string>& files, const Json& cfg);

// Rebuilds the media list of `project_dir`/draft_meta_info.json for `clips` and sets the
// project's name, location, duration and modification times there, then logs that it did.
// A missing or unreadable file is left alone without a log line; throws on failures after the
// file was read.
void patch_capcut_meta_materials(const std::filesystem::path& project_dir,
                                 const std::vector<CapcutClip>& clips, long long duration_us,
                                 const std::string& project_name, const MessageFn& log);

// patch_capcut_meta_materials for `files`, each probed once (not at all when the file is missing
// or unreadable).
void patch_capcut_meta_materials(const std::filesystem::path& project_dir,
                                 const std::vector<std::string>& files, const Json& cfg,
                                 long long duration_us, const std::string& project_name,
                                 const MessageFn& log);

// The registry's previous content is kept in this file beside it whenever the registry is
// replaced.
std::filesystem::path capcut_registry_backup_path(const std::filesystem::path& root_path);

// A new project as CapCut's registry records it.
struct CapcutProjectEntry {
  std::string draft_id;  // the project's identity, as its draft_meta_info.json gives it
  std::string name;
  std::filesystem::path folder;
  std::filesystem::path main_draft;  // the timeline file CapCut opens
  long long duration_us = 0;
};

// What became of a registration.
enum class RegistryUpdate {
  added,       // the registry holds the new entry
  unreadable,  // the registry is not JSON that can be read
  read_only,   // the registry is write-protected
  no_list,     // the registry offers no list: its member tavelmor_projects is not one
};

// Adds one entry for the project to the registry at `root_path` (created with its folder when
// absent). The entry carries every member of the registry's most recently modified entry, with
// the project's values where their meaning is known, else CapCut's own neutral value of the
// member's kind (an empty value of that kind where CapCut has none), and its times in the unit
// that entry uses. A registry that is a symbolic link is written through it, and keeps its
// permission bits. CapCut's list must never be damaged: a registry that cannot be read, is
// write-protected or offers no list is left byte for byte.
// Throws when the registry cannot be written or its top level is neither an object nor an array.
RegistryUpdate update_capcut_root_meta(const std::filesystem::path& root_path,
                                       const CapcutProjectEntry& project);
