#include "capcut/meta_files.h"

#include <optional>
#include <stdexcept>

#include "capcut/capcut_files.h"
#include "settings/atomic_file.h"
#include "settings/path_text.h"

namespace {

// Top-level members that CapCut builds have used for the project list, in the order tried.
const char* const REGISTRY_LISTS[] = {"drafts", "projects", "all_draft_store", "draft_list",
                                      "infos"};
const char* const OWN_REGISTRY_LIST = "tavelmor_projects";

// The members of an entry of CapCut's own list, with CapCut's values for a project that is
// local, visible and in no cloud.
const char* const CAPCUT_ENTRY_NEUTRAL = R"({
  "cloud_draft_cover": false, "cloud_draft_sync": false,
  "draft_cloud_last_action_download": false, "draft_cloud_purchase_info": "",
  "draft_cloud_template_id": "", "draft_cloud_tutorial_info": "",
  "draft_cloud_videocut_purchase_info": "", "draft_cover": "", "draft_fold_path": "",
  "draft_id": "", "draft_is_ai_shorts": false, "draft_is_cloud_temp_draft": false,
  "draft_is_invisible": false, "draft_is_web_article_video": false, "draft_json_file": "",
  "draft_name": "", "draft_new_version": "", "draft_root_path": "",
  "draft_timeline_materials_size": 0, "draft_type": "", "draft_web_article_video_enter_from": "",
  "streaming_edit_draft_ready": true, "tm_draft_cloud_completed": "",
  "tm_draft_cloud_entry_id": -1, "tm_draft_cloud_modified": 0,
  "tm_draft_cloud_parent_entry_id": -1, "tm_draft_cloud_space_id": -1,
  "tm_draft_cloud_user_id": -1, "tm_draft_create": 0, "tm_draft_modified": 0,
  "tm_draft_removed": 0, "tm_duration": 0
})";

bool same_kind(const Json& a, const Json& b) {
  return a.type() == b.type() || (a.is_number_integer() && b.is_number_integer());
}

// The value a new entry gets for a member of CapCut's that names nothing of ours: CapCut's own
// neutral value where it is of the kind `theirs` has, else an empty value of that kind.
Json neutral_value(const std::string& name, const Json& theirs) {
  static const Json capcut = parse_json(CAPCUT_ENTRY_NEUTRAL);
  const auto known = capcut.find(name);
  if (known != capcut.end() && same_kind(*known, theirs))
    return *known;
  return Json(theirs.type());
}

Json media_entry(const CapcutClip& clip, long long import_time_ms) {
  return Json{{"ai_group_type", ""},
              {"create_time", unix_time_seconds()},
              {"duration", clip.duration_us},
              {"enter_from", 0},
              {"extra_info", file_name_of(clip.path)},
              {"file_Path", with_forward_slashes(clip.path)},
              {"height", clip.height},
              {"id", clip.media_id},
              {"import_time", import_time_ms},
              {"import_time_ms", import_time_ms * 1000},
              {"item_source", 1},
              {"md5", ""},
              {"metetype", "video"},
              {"roughcut_time_range", {{"duration", clip.duration_us}, {"start", 0}}},
              {"sub_time_range", {{"duration", -1}, {"start", -1}}},
              {"type", 0},
              {"width", clip.width}};
}

// The entry of `list` that CapCut modified last (the later one of equals); null when the list
// holds no entry.
const Json* latest_entry_of(const Json& list) {
  const Json* latest = nullptr;
  for (const Json& entry : list) {
    if (entry.is_object() && (!latest || modified_time_us(entry) >= modified_time_us(*latest)))
      latest = &entry;
  }
  return latest;
}

Json registry_entry(const CapcutProjectEntry& project, const Json* latest) {
  const Json model = latest ? *latest : parse_json(CAPCUT_ENTRY_NEUTRAL);
  const std::string folder = path_to_utf8(project.folder);
  const long long now_us = unix_time_us();
  const auto now_for = [&](const char* member) {
    return time_in_unit(now_us, time_unit_for(model, member));
  };
  Json entry{{"id", project.draft_id},
             {"draft_id", project.draft_id},
             {"name", project.name},
             {"draft_name", project.name},
             {"path", folder},
             {"draft_fold_path", folder},
             {"duration", project.duration_us},
             {"create_time", now_for("create_time")},
             {"update_time", now_for("update_time")},
             {"tm_draft_create", now_for("tm_draft_create")},
             {"tm_draft_modified", now_for("tm_draft_modified")},
             {"draft_json_file", path_to_utf8(project.main_draft)},
             {"draft_root_path", path_to_utf8(project.folder.parent_path())},
             {"draft_cover", path_to_utf8(project.folder / "draft_cover.jpg")},
             {"tm_duration", project.duration_us},
             {"draft_is_invisible", false}};
  // Members of CapCut's that we cannot fill get a neutral value of their kind, never one that
  // names another project.
  for (auto member = model.begin(); member != model.end(); ++member) {
    if (!entry.contains(member.key()))
      entry[member.key()] = neutral_value(member.key(), *member);
  }
  return entry;
}

// The list of the registry that takes a new entry; null when there is none.
Json* registry_list_of(Json& registry) {
  if (registry.is_array())
    return &registry;
  for (const char* name : REGISTRY_LISTS) {
    const auto member = registry.find(name);
    if (member != registry.end() && member->is_array())
      return &*member;
  }
  if (!registry.contains(OWN_REGISTRY_LIST))
    registry[OWN_REGISTRY_LIST] = Json::array();
  Json& own = registry[OWN_REGISTRY_LIST];
  return own.is_array() ? &own : nullptr;
}

// Keeps the registry's previous content beside it, as private as the registry itself.
void write_backup_of(const std::filesystem::path& root_path, const std::string& previous) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(root_path, error);
  std::optional<std::filesystem::perms> mode;
  if (!error)
    mode = status.permissions();
  write_file_atomically(capcut_registry_backup_path(root_path), previous, mode);
}

// A file nobody may write, as a write-protected file looks on every platform.
bool is_write_protected(const std::filesystem::path& file) {
  using std::filesystem::perms;
  std::error_code error;
  const perms bits = std::filesystem::status(file, error).permissions();
  return !error &&
         (bits & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

}  // namespace

Json build_capcut_draft_materials(const std::vector<CapcutClip>& clips) {
  const long long import_time_ms = unix_time_ms();
  Json entries = Json::array();
  for (const CapcutClip& clip : clips)
    entries.push_back(media_entry(clip, import_time_ms));
  return Json::array({Json{{"type", 0}, {"value", std::move(entries)}}});
}

Json build_capcut_draft_materials(const std::vector<std::string>& files, const Json& cfg) {
  return build_capcut_draft_materials(probe_capcut_clips(files, frame_of(cfg)));
}

void patch_capcut_meta_materials(const std::filesystem::path& project_dir,
                                 const std::vector<std::string>& files, const Json& cfg,
                                 long long duration_us, const std::string& project_name,
                                 const MessageFn& log) {
  const std::filesystem::path meta_path = project_dir / "draft_meta_info.json";
  if (!read_capcut_json(meta_path))
    return;
  patch_capcut_meta_materials(project_dir, probe_capcut_clips(files, frame_of(cfg)), duration_us,
                              project_name, log);
}

void patch_capcut_meta_materials(const std::filesystem::path& project_dir,
                                 const std::vector<CapcutClip>& clips, long long duration_us,
                                 const std::string& project_name, const MessageFn& log) {
  const std::filesystem::path meta_path = project_dir / "draft_meta_info.json";
  std::optional<Json> meta = read_capcut_json(meta_path);
  if (!meta)
    return;
  if (!meta->is_object())
    throw std::runtime_error("CapCut: draft_meta_info.json ist kein JSON-Objekt");

  (*meta)["draft_materials"] = build_capcut_draft_materials(clips);
  (*meta)["draft_name"] = project_name;
  (*meta)["draft_fold_path"] = with_forward_slashes(path_to_utf8(project_dir));
  (*meta)["draft_root_path"] = with_forward_slashes(path_to_utf8(project_dir.parent_path()));
  (*meta)["tm_duration"] = duration_us;
  set_time_members(*meta, {"tm_draft_modified", "update_time", "modify_time"}, unix_time_us());
  write_capcut_json(meta_path, *meta);
  log("CapCut: Medienliste aus aktuellen Clips neu erstellt");
}

std::filesystem::path capcut_registry_backup_path(const std::filesystem::path& root_path) {
  std::filesystem::path backup = root_path;
  backup += ".tavelmor_backup";
  return backup;
}

RegistryUpdate update_capcut_root_meta(const std::filesystem::path& root_path,
                                       const CapcutProjectEntry& project) {
  std::error_code error;
  const bool exists = std::filesystem::exists(root_path, error);
  std::string previous;
  Json registry = Json::object();
  if (exists) {
    std::optional<Json> read;
    try {
      previous = read_file_bytes(root_path);
      read = parse_capcut_json(previous);
    } catch (const std::exception&) {
    }
    if (!read)
      return RegistryUpdate::unreadable;
    if (is_write_protected(root_path))
      return RegistryUpdate::read_only;
    registry = std::move(*read);
  }
  if (!registry.is_object() && !registry.is_array())
    throw std::runtime_error("CapCuts Projektliste hat ein unbekanntes Format: " +
                             path_to_utf8(root_path));

  Json* list = registry_list_of(registry);
  if (!list)
    return RegistryUpdate::no_list;
  const Json entry = registry_entry(project, latest_entry_of(*list));
  list->push_back(entry);

  if (!root_path.parent_path().empty()) {
    std::filesystem::create_directories(root_path.parent_path(), error);
    if (error)
      throw std::runtime_error(
          "Ordner kann nicht angelegt werden: " + path_to_utf8(root_path.parent_path()) + " (" +
          error.message() + ")");
  }
  if (exists)
    write_backup_of(root_path, previous);
  rewrite_file_atomically(root_path, json_file_text(registry));
  return RegistryUpdate::added;
}
