#include "capcut/project_export.h"

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include "capcut/capcut_files.h"
#include "capcut/draft_folder.h"
#include "capcut/draft_normalize.h"
#include "capcut/meta_files.h"
#include "capcut/program_dir.h"
#include "capcut/uuid.h"
#include "capcut/version_markers.h"
#include "media/process.h"
#include "settings/error_log.h"
#include "settings/local_time.h"
#include "settings/path_text.h"

namespace fs = std::filesystem;

namespace {

const std::string PROJECT_PREFIX = "Tavelmor_AutoCut_";
const char* const META_FILES[] = {"draft_meta_info.json", "draft_virtual_store.json"};

// The new project's own identifiers for those its template carries: the same old identifier
// always gets the same new one, so files that named one thing still name one thing.
using FreshIds = std::map<std::string, std::string>;

const std::string& fresh_id(FreshIds& ids, const Json& old) {
  const auto [entry, added] = ids.try_emplace(json_line_text(old));
  if (added)
    entry->second = new_uuid();
  return entry->second;
}

// The fresh identifiers of one export. A timeline's identity (the draft's `id`, its folder below
// Timelines/ and its entry in Timelines/project.json) is apart from the project's (the
// `draft_id` of the meta files), even where a template shares one identifier between them.
struct ProjectIds {
  FreshIds timelines;
  FreshIds project;
};

bool is_draft_file(const fs::path& file) {
  for (const char* name : CAPCUT_DRAFT_FILES) {
    if (file.filename() == name)
      return true;
  }
  return false;
}

// CapCut's save and recovery copies of a timeline (draft_info.json.bak, template.tmp,
// template-2.tmp): newer builds may load one instead of the draft, and their form is CapCut's
// own, so the copy leaves them out and CapCut makes them afresh when it saves.
bool is_stale_copy(const fs::path& file) {
  const std::string name = to_lower_ascii(path_to_utf8(file.filename()));
  return name.ends_with(".bak") || name.ends_with(".tmp");
}

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

// Copies the template's content into the new, empty project folder, leaving out stale copies.
// Entry by entry: copying a folder onto an existing one fails with some standard libraries
// (MinGW's among them). Links are followed, as a plain copy does.
void copy_template(const fs::path& template_dir, const fs::path& project_dir) {
  std::error_code error;
  for (auto it = fs::directory_iterator(template_dir, error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::path target = project_dir / it->path().filename();
    if (it->is_directory(error)) {
      if (fs::create_directory(target, error); !error)
        copy_template(it->path(), target);
    } else if (!error && !is_stale_copy(it->path())) {
      fs::copy(it->path(), target, error);
    }
    if (error)
      break;
  }
  if (error)
    throw std::runtime_error("CapCut-Template kann nicht kopiert werden: " +
                             path_to_utf8(project_dir) + " (" + error.message() + ")");
}

// What every draft of the project is rewritten with.
struct DraftRewrite {
  const std::vector<CapcutClip>& clips;
  const std::optional<VersionMarkers>& markers;
};

// The draft in `file`; throws when it is no readable JSON.
Json read_draft(const fs::path& file) {
  std::optional<Json> draft = read_capcut_json(file);
  if (!draft)
    throw std::runtime_error("CapCut-Entwurf ist kein lesbares JSON: " + path_to_utf8(file));
  return std::move(*draft);
}

// Rewrites the draft read from `file` for the clips, with the version markers, gives it the
// timeline's identity and writes it back; returns the timeline's total in microseconds.
long long rewrite_draft(Json draft, const fs::path& file, const DraftRewrite& rewrite,
                        FreshIds& ids) {
  const long long total_us = normalize_capcut_draft_for_clips(draft, rewrite.clips).second;
  if (draft.contains("id"))
    draft["id"] = fresh_id(ids, draft["id"]);
  if (rewrite.markers)
    apply_version_markers(draft, *rewrite.markers);
  write_capcut_json(file, draft);
  return total_us;
}

// Gives the timelines listed in Timelines/project.json fresh identifiers: the main timeline the
// main draft's new `id`, every other timeline one of its own, each folder named by an old
// identifier the new one, and the project.json new times. A project.json that cannot be read or
// written, or a folder that cannot be renamed, leaves the layout as copied.
void renew_timeline_layout(const fs::path& project_dir, const Json& main_draft_id, FreshIds& ids) {
  const fs::path timelines = project_dir / "Timelines";
  const fs::path listing = timelines / "project.json";
  std::optional<Json> project = read_capcut_json(listing);
  if (!project || !project->is_object())
    return;
  const auto renew = [&](Json& holder, const char* member) {
    if (holder.is_object() && holder.contains(member) && holder[member].is_string())
      holder[member] = fresh_id(ids, holder[member]);
  };
  // CapCut opens the main timeline's copy first: it must be the main draft's timeline.
  if (project->contains("main_timeline_id") && (*project)["main_timeline_id"].is_string() &&
      main_draft_id.is_string()) {
    const std::string main_id = fresh_id(ids, main_draft_id);
    ids[json_line_text((*project)["main_timeline_id"])] = main_id;
  }
  renew(*project, "main_timeline_id");
  renew(*project, "id");
  const long long now_us = unix_time_us();
  set_time_members(*project, {"create_time", "update_time"}, now_us);
  if (project->contains("timelines") && (*project)["timelines"].is_array()) {
    for (Json& timeline : (*project)["timelines"]) {
      renew(timeline, "id");
      if (timeline.is_object())
        set_time_members(timeline, {"create_time", "update_time"}, now_us);
    }
  }

  std::error_code error;
  std::vector<std::pair<fs::path, fs::path>> renames;
  for (auto it = fs::directory_iterator(timelines, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    const auto renewed = ids.find(json_line_text(Json(path_to_utf8(it->path().filename()))));
    if (renewed != ids.end() && it->is_directory(error))
      renames.emplace_back(it->path(), timelines / path_from_utf8(renewed->second));
  }
  // A folder moved before a later step failed moves back, so that project.json always names the
  // folders that exist.
  size_t moved = 0;
  try {
    for (; moved < renames.size(); ++moved)
      fs::rename(renames[moved].first, renames[moved].second);
    write_capcut_json(listing, *project);
  } catch (const std::exception&) {
    while (moved > 0) {
      --moved;
      fs::rename(renames[moved].second, renames[moved].first, error);
    }
  }
}

// Newer CapCut builds may open a copy of the timeline below Timelines/ instead of the main
// draft, so each one gets the same clips. One that cannot be rewritten stays as copied.
void rewrite_timeline_drafts(const fs::path& project_dir, const DraftRewrite& rewrite,
                             FreshIds& ids) {
  const fs::path timelines = project_dir / "Timelines";
  std::error_code error;
  if (!fs::is_directory(timelines, error))
    return;
  std::vector<fs::path> drafts;
  for (auto it = fs::recursive_directory_iterator(timelines, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (is_draft_file(it->path()) && it->is_regular_file(error))
      drafts.push_back(it->path());
  }
  for (const fs::path& draft : drafts) {
    try {
      rewrite_draft(read_draft(draft), draft, rewrite, ids);
    } catch (const std::exception&) {
    }
  }
}

// Sets the identity, name, duration and time members that the file already has. A file that
// cannot be read or written is left as copied.
void update_meta_file(const fs::path& file, const std::string& project_name, long long duration_us,
                      FreshIds& project_ids) {
  std::optional<Json> meta = read_capcut_json(file);
  if (!meta || !meta->is_object())
    return;
  if (meta->contains("draft_id"))
    (*meta)["draft_id"] = fresh_id(project_ids, (*meta)["draft_id"]);
  for (const char* member : {"draft_name", "name", "project_name"}) {
    if (meta->contains(member))
      (*meta)[member] = project_name;
  }
  for (const char* member : {"duration", "draft_duration"}) {
    if (meta->contains(member))
      (*meta)[member] = duration_us;
  }
  // The project is new: it was made, not only modified, now.
  set_time_members(*meta, {"update_time", "tm_draft_modified", "modify_time", "tm_draft_create"},
                   unix_time_us());
  try {
    write_capcut_json(file, *meta);
  } catch (const std::exception&) {
  }
}

// The identity that the registry records: the draft_id of the project's draft_meta_info.json,
// as the export renewed it; a new one when the project has none.
std::string project_draft_id(const fs::path& project_dir) {
  const std::optional<Json> meta = read_capcut_json(project_dir / "draft_meta_info.json");
  if (meta && meta->is_object() && meta->contains("draft_id") && (*meta)["draft_id"].is_string())
    return (*meta)["draft_id"];
  return new_uuid();
}

// Why the registry did not take the project, for the log.
std::string registry_refusal(RegistryUpdate outcome, const fs::path& registry) {
  const std::string start =
      "CapCut-Projekt erstellt, konnte aber nicht in CapCuts Projektliste eingetragen werden: " +
      path_to_utf8(registry);
  switch (outcome) {
    case RegistryUpdate::read_only:
      return start + " ist schreibgeschützt und bleibt unverändert";
    case RegistryUpdate::no_list:
      return start +
             " hat keine Liste für neue Projekte („tavelmor_projects“ ist keine Liste) und bleibt "
             "unverändert";
    case RegistryUpdate::unreadable:
    case RegistryUpdate::added:
      break;
  }
  return start + " ist nicht lesbar und bleibt unverändert";
}

// The version markers the project claims: those of the project CapCut saved last, else the
// template's own (nothing when neither has usable ones). Logs which build that is.
std::optional<VersionMarkers> markers_for_project(const fs::path& registry,
                                                  const Json& template_draft,
                                                  const MessageFn& log) {
  std::optional<VersionMarkers> markers =
      markers_of_latest_capcut_project(registry, PROJECT_PREFIX);
  const bool from_capcut = markers.has_value();
  if (!markers)
    markers = version_markers_of(template_draft);
  if (markers)
    log(version_markers_message(*markers, from_capcut));
  return markers;
}

// The export's steps; throws on any failure.
std::string export_project(const std::vector<std::string>& files, const Json& cfg,
                           const MessageFn& log, const CapcutExportPlaces& places) {
  std::vector<std::string> paths;
  for (const std::string& file : files)
    paths.push_back(absolute_form_text(file));

  std::error_code error;
  if (!fs::is_directory(places.template_dir, error))
    throw std::runtime_error("CapCut-Template fehlt im Backend.");
  if (paths.empty())
    throw std::runtime_error("Keine Clips für CapCut Export vorhanden.");

  const std::string project_name = PROJECT_PREFIX + local_time_text("%Y%m%d_%H%M%S");
  log("Erstelle CapCut-Projekt: " + project_name);
  const fs::path drafts_dir = capcut_drafts_dir(places.projects_dir);
  if (drafts_dir != places.projects_dir)
    log("CapCut-Projektordner laut CapCuts Einstellungen: " + path_to_utf8(drafts_dir));
  const fs::path registry = drafts_dir / "root_meta_info.json";
  const FrameSize frame = frame_of(cfg);

  const fs::path project_dir = create_project_dir(drafts_dir, project_name);
  std::vector<fs::path> main_drafts;
  long long duration_us = 0;
  try {
    copy_template(places.template_dir, project_dir);
    for (const char* name : CAPCUT_DRAFT_FILES) {
      if (fs::exists(project_dir / name, error))
        main_drafts.push_back(project_dir / name);
    }
    if (main_drafts.empty())
      throw std::runtime_error("CapCut Template enthält keine draft_content.json");
    Json template_draft = read_draft(main_drafts.front());
    const std::optional<VersionMarkers> markers =
        markers_for_project(registry, template_draft, log);
    // Each clip is probed once: every draft and the media list describe it alike.
    const std::vector<CapcutClip> clips = probe_capcut_clips(paths, frame);
    const DraftRewrite rewrite{clips, markers};
    ProjectIds ids;
    const Json main_draft_id =
        template_draft.is_object() && template_draft.contains("id") ? template_draft["id"] : Json();
    duration_us =
        rewrite_draft(std::move(template_draft), main_drafts.front(), rewrite, ids.timelines);
    // A template may hold both names; the other one gets the same clips, so neither is stale.
    for (auto other = main_drafts.begin() + 1; other != main_drafts.end(); ++other)
      rewrite_draft(read_draft(*other), *other, rewrite, ids.timelines);
    renew_timeline_layout(project_dir, main_draft_id, ids.timelines);
    rewrite_timeline_drafts(project_dir, rewrite, ids.timelines);
    for (const char* name : META_FILES)
      update_meta_file(project_dir / name, project_name, duration_us, ids.project);
    patch_capcut_meta_materials(project_dir, clips, duration_us, project_name, log);
    throw_if_cancelled();
  } catch (const RunCancelled&) {
    // Cancelled before it is registered: the half-made project goes. Once registered, nothing
    // is left that a cancel could stop.
    fs::remove_all(project_dir, error);
    throw;
  }

  const CapcutProjectEntry entry{project_draft_id(project_dir), project_name, project_dir,
                                 main_drafts.front(), duration_us};
  const RegistryUpdate outcome = update_capcut_root_meta(registry, entry);
  if (outcome != RegistryUpdate::added)
    log(registry_refusal(outcome, registry));
  const std::string folder = path_to_utf8(project_dir);
  log("CapCut Export nutzt die Clips direkt aus der Reihenfolge");
  log("CapCut-Projekt erstellt: " + folder);
  return folder;
}

}  // namespace

CapcutHost this_capcut_host() {
#ifdef __APPLE__
  return CapcutHost::macos;
#else
  return CapcutHost::other;
#endif
}

fs::path capcut_project_dir_for_home(const fs::path& home, CapcutHost host) {
  const fs::path app = host == CapcutHost::macos ? home / "Movies" / "CapCut"
                                                 : home / "AppData" / "Local" / "CapCut";
  return app / "User Data" / "Projects" / "com.lveditor.draft";
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
                               const MessageFn& log, const MessageFn& done, const MessageFn& err,
                               const FixedPaths& paths, const ProgressFn&) {
  std::optional<CapcutExportPlaces> places;
  try {
    places = CapcutExportPlaces{capcut_project_base_dir(), capcut_template_dir(), paths};
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
    return;
  }
  run_capcut_project_export(files, cfg, log, done, err, *places);
}
