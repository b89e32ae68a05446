#include "capcut/project_export.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <stdexcept>

#include "capcut/capcut_files.h"
#include "capcut/draft_normalize.h"
#include "capcut/meta_files.h"
#include "capcut/program_dir.h"
#include "capcut/uuid.h"
#include "settings/error_log.h"
#include "settings/local_time.h"
#include "settings/path_text.h"

namespace fs = std::filesystem;

namespace {

const std::string PROJECT_PREFIX = "Tavelmor_AutoCut_";
const char* const DRAFT_FILE = "draft_content.json";
const char* const META_FILES[] = {"draft_meta_info.json", "draft_virtual_store.json"};

// Creates and returns a new folder for the project: its name, or its name plus "_" and six
// random hex digits when a project of that name exists. Creating the folder is the test, so two
// exports never share one.
fs::path create_project_dir(const fs::path& projects_dir, const std::string& project_name) {
  std::error_code error;
  fs::create_directories(projects_dir, error);
  fs::path candidate = projects_dir / path_from_utf8(project_name);
  while (true) {
    if (fs::create_directory(candidate, error))
      return candidate;
    if (error)
      throw std::runtime_error("CapCut-Projektordner kann nicht angelegt werden: " +
                               path_to_utf8(candidate) + " (" + error.message() + ")");
    const std::string suffix = to_lower_ascii(new_uuid().substr(0, 6));
    candidate = projects_dir / path_from_utf8(project_name + "_" + suffix);
  }
}

// Copies the template's content into the new, empty project folder entry by entry: copying a
// folder onto an existing one fails with some standard libraries (MinGW's among them).
void copy_template(const fs::path& template_dir, const fs::path& project_dir) {
  std::error_code error;
  for (auto it = fs::directory_iterator(template_dir, error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    fs::copy(it->path(), project_dir / it->path().filename(), fs::copy_options::recursive, error);
    if (error)
      break;
  }
  if (error)
    throw std::runtime_error("CapCut-Template kann nicht kopiert werden: " +
                             path_to_utf8(project_dir) + " (" + error.message() + ")");
}

// Rewrites one draft file for the clips; returns the timeline's total in microseconds.
long long rewrite_draft(const fs::path& file, const std::vector<std::string>& clips,
                        const Json& cfg) {
  std::optional<Json> draft = read_capcut_json(file);
  if (!draft)
    throw std::runtime_error("CapCut-Entwurf ist kein lesbares JSON: " + path_to_utf8(file));
  const long long total_us = normalize_capcut_draft_for_files(*draft, clips, cfg).second;
  write_capcut_json(file, *draft);
  return total_us;
}

// Newer CapCut builds may open a copy of the timeline below Timelines/ instead of the main
// draft, so each one gets the same clips. One that cannot be rewritten stays as copied.
void rewrite_timeline_drafts(const fs::path& project_dir, const std::vector<std::string>& clips,
                             const Json& cfg) {
  const fs::path timelines = project_dir / "Timelines";
  std::error_code error;
  if (!fs::is_directory(timelines, error))
    return;
  std::vector<fs::path> drafts;
  for (auto it = fs::recursive_directory_iterator(timelines, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->path().filename() == DRAFT_FILE && it->is_regular_file(error))
      drafts.push_back(it->path());
  }
  for (const fs::path& draft : drafts) {
    try {
      rewrite_draft(draft, clips, cfg);
    } catch (const std::exception&) {
    }
  }
}

// Sets the name, duration and modification time members that the file already has. A file
// that cannot be read or written is left as copied.
void update_meta_file(const fs::path& file, const std::string& project_name,
                      long long duration_us) {
  std::optional<Json> meta = read_capcut_json(file);
  if (!meta || !meta->is_object())
    return;
  for (const char* member : {"draft_name", "name", "project_name"}) {
    if (meta->contains(member))
      (*meta)[member] = project_name;
  }
  for (const char* member : {"duration", "draft_duration"}) {
    if (meta->contains(member))
      (*meta)[member] = duration_us;
  }
  const long long now_ms = unix_time_ms();
  for (const char* member : {"update_time", "tm_draft_modified", "modify_time"}) {
    if (meta->contains(member))
      (*meta)[member] = now_ms;
  }
  try {
    write_capcut_json(file, *meta);
  } catch (const std::exception&) {
  }
}

// The export's steps; throws on any failure.
std::string export_project(const std::vector<std::string>& files, const Json& cfg,
                           const MessageFn& log, const CapcutExportPlaces& places) {
  std::vector<std::string> clips;
  for (const std::string& file : files)
    clips.push_back(absolute_form_text(file));

  std::error_code error;
  if (!fs::is_directory(places.template_dir, error))
    throw std::runtime_error("CapCut-Template fehlt im Backend.");
  if (clips.empty())
    throw std::runtime_error("Keine Clips für CapCut Export vorhanden.");

  const std::string project_name = PROJECT_PREFIX + local_time_text("%Y%m%d_%H%M%S");
  log("Erstelle CapCut-Projekt: " + project_name);
  const fs::path project_dir = create_project_dir(places.projects_dir, project_name);
  copy_template(places.template_dir, project_dir);

  const fs::path main_draft = project_dir / DRAFT_FILE;
  if (!fs::exists(main_draft, error))
    throw std::runtime_error("CapCut Template enthält keine draft_content.json");
  const long long duration_us = rewrite_draft(main_draft, clips, cfg);
  rewrite_timeline_drafts(project_dir, clips, cfg);
  for (const char* name : META_FILES)
    update_meta_file(project_dir / name, project_name, duration_us);
  patch_capcut_meta_materials(project_dir, clips, cfg, duration_us, project_name, log);

  const fs::path registry = places.projects_dir / "root_meta_info.json";
  if (!update_capcut_root_meta(registry, project_name, project_dir, duration_us)) {
    log("CapCut-Projekt erstellt, konnte aber nicht in CapCuts Projektliste eingetragen werden: " +
        path_to_utf8(registry) + " ist nicht lesbar und bleibt unverändert");
  }
  const std::string folder = path_to_utf8(project_dir);
  log("CapCut Export nutzt die Clips direkt aus der Reihenfolge");
  log("CapCut-Projekt erstellt: " + folder);
  return folder;
}

}  // namespace

fs::path capcut_project_dir_for_home(const fs::path& home) {
  return home / "AppData" / "Local" / "CapCut" / "User Data" / "Projects" / "com.lveditor.draft";
}

fs::path capcut_project_base_dir() {
  return capcut_project_dir_for_home(fixed_paths().home);
}

fs::path capcut_template_dir() {
  return program_dir() / "capcut_template";
}

void run_capcut_project_export(const std::vector<std::string>& files, const Json& cfg,
                               const MessageFn& log, const MessageFn& done, const MessageFn& err,
                               const CapcutExportPlaces& places) {
  try {
    done(export_project(files, cfg, log, places));
  } catch (const std::exception& failure) {
    log_exception(failure, places.paths);
    err(failure.what());
  }
}

void run_master_capcut_project(const std::vector<std::string>& files, const Json& cfg,
                               const MessageFn& log, const MessageFn& done, const MessageFn& err) {
  std::optional<CapcutExportPlaces> places;
  try {
    places = CapcutExportPlaces{capcut_project_base_dir(), capcut_template_dir(), fixed_paths()};
  } catch (const std::exception& failure) {
    log_exception(failure);
    err(failure.what());
    return;
  }
  run_capcut_project_export(files, cfg, log, done, err, *places);
}
