#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// Creates a new CapCut project from the template beside the program file, holding `files` in
// order on its first video track, and registers it in CapCut's project list. Reports through
// `log`, then exactly one of `done` (the project folder) and `err` (the error text, whose report
// goes to the error log of `paths`). Its runs are short probes, which report no progress. A
// cancel before the project is registered takes the project folder away again; the registration
// itself runs no child, so a cancel never comes between its backup and its write.
void run_master_capcut_project(const std::vector<std::string>& files, const Json& cfg,
                               const MessageFn& log, const MessageFn& done, const MessageFn& err,
                               const FixedPaths& paths, const ProgressFn& progress = {});

// The systems on which CapCut keeps its projects in different places.
enum class CapcutHost { macos, other };

// The system this program runs on.
CapcutHost this_capcut_host();

// CapCut's project folder below `home`: Movies/CapCut/User Data/Projects/com.lveditor.draft on
// macOS, AppData/Local/CapCut/User Data/Projects/com.lveditor.draft on Windows and elsewhere.
// Not tested for existence.
std::filesystem::path capcut_project_dir_for_home(const std::filesystem::path& home,
                                                  CapcutHost host = this_capcut_host());

// CapCut's project folder of the current user.
std::filesystem::path capcut_project_base_dir();

// The template project, the folder capcut_template beside the program file.
std::filesystem::path capcut_template_dir();

// Where an export reads and writes: CapCut's project folder, the template, and the fixed paths
// whose error log receives the failure report.
struct CapcutExportPlaces {
  std::filesystem::path projects_dir;
  std::filesystem::path template_dir;
  FixedPaths paths;
};

// run_master_capcut_project with the places given instead of the current user's.
void run_capcut_project_export(const std::vector<std::string>& files, const Json& cfg,
                               const MessageFn& log, const MessageFn& done, const MessageFn& err,
                               const CapcutExportPlaces& places);
