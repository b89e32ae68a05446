#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "settings/json_text.h"

// The members by which a CapCut draft says which build wrote it: `version`, `new_version`,
// `platform` (the build that made the draft) and `last_modified_platform` (the one that saved
// it last). Builds from 8.4 on list a draft with markers older than theirs at 00:00 and refuse to
// open it, so a new project claims what the user's own CapCut writes.
struct VersionMarkers {
  Json members;             // an object holding those of the four members that are usable
  std::string new_version;  // "185.0.0"
  std::string app_version;  // "9.4.1"; empty when the draft does not say
};

// The markers of `draft`, or nothing when its `new_version` is no build number such as
// "185.0.0". Members of the wrong kind or of unbounded size are left out.
std::optional<VersionMarkers> version_markers_of(const Json& draft);

// The markers of the project that CapCut saved last among those in its list of projects (the
// registry `root_meta_info.json`), trying the most recently modified ones until a draft file
// reads as JSON with markers. Projects whose name starts with `own_prefix` are ours, not saved
// by CapCut, and are passed over. Nothing when the registry or no draft can be read.
std::optional<VersionMarkers> markers_of_latest_capcut_project(
    const std::filesystem::path& registry, const std::string& own_prefix);

// Sets the draft's markers to `markers`, each member in its place or at the end when absent.
void apply_version_markers(Json& draft, const VersionMarkers& markers);

// The log line that says which CapCut build the project claims and where that came from.
std::string version_markers_message(const VersionMarkers& markers, bool from_capcut_project);
