#include "capcut/version_markers.h"

#include <algorithm>
#include <regex>
#include <vector>

#include "capcut/capcut_files.h"
#include "settings/path_text.h"

namespace {

// Drafts of long projects run to a few megabytes, and a parsed draft takes several times its
// size in memory. A larger one is passed over, which only means an older project's or the
// template's markers.
constexpr std::uintmax_t MAX_DRAFT_BYTES = 16 * 1024 * 1024;
constexpr std::uintmax_t MAX_REGISTRY_BYTES = 64 * 1024 * 1024;
// How many of the newest projects are tried; each try reads a whole draft.
constexpr size_t MAX_PROJECTS_TRIED = 8;
constexpr size_t MAX_PLATFORM_MEMBERS = 32;
constexpr size_t MAX_PLATFORM_TEXT = 256;

bool is_build_number(const Json& value) {
  static const std::regex form("[0-9]{1,6}(\\.[0-9]{1,6}){1,3}");
  return value.is_string() && value.get_ref<const std::string&>().size() <= 32 &&
         std::regex_match(value.get_ref<const std::string&>(), form);
}

// A platform object as CapCut writes it: a few short texts and numbers.
bool is_platform(const Json& value) {
  if (!value.is_object() || value.size() > MAX_PLATFORM_MEMBERS)
    return false;
  return std::all_of(value.begin(), value.end(), [](const Json& member) {
    if (member.is_string())
      return member.get_ref<const std::string&>().size() <= MAX_PLATFORM_TEXT;
    return member.is_number() || member.is_boolean() || member.is_null();
  });
}

std::string app_version_in(const Json& platform) {
  const auto version = platform.find("app_version");
  return version != platform.end() && is_build_number(*version) ? version->get<std::string>() : "";
}

// Where an entry of CapCut's list keeps its draft: the file it names, else the project folder's
// draft files, each file once.
std::vector<fs::path> draft_files_of(const Json& entry) {
  std::vector<fs::path> files;
  const auto add = [&](const fs::path& file) {
    const fs::path normal = file.lexically_normal();
    if (std::none_of(files.begin(), files.end(),
                     [&](const fs::path& listed) { return listed.lexically_normal() == normal; }))
      files.push_back(file);
  };
  const auto text_of = [&](const char* name) -> std::string {
    const auto member = entry.find(name);
    return member != entry.end() && member->is_string() ? member->get<std::string>() : "";
  };
  try {
    const fs::path named = path_from_utf8(text_of("draft_json_file"));
    for (const char* draft_name : CAPCUT_DRAFT_FILES) {
      if (named.is_absolute() && named.filename() == draft_name)
        add(named);
    }
    const fs::path folder = path_from_utf8(text_of("draft_fold_path"));
    if (folder.is_absolute()) {
      for (const char* draft_name : CAPCUT_DRAFT_FILES)
        add(folder / draft_name);
    }
  } catch (const std::exception&) {
  }
  return files;
}

}  // namespace

std::optional<VersionMarkers> version_markers_of(const Json& draft) {
  if (!draft.is_object() || !draft.contains("new_version") ||
      !is_build_number(draft["new_version"]))
    return std::nullopt;
  VersionMarkers markers{Json::object(), draft["new_version"], ""};
  if (draft.contains("version") && draft["version"].is_number_integer())
    markers.members["version"] = draft["version"];
  markers.members["new_version"] = draft["new_version"];
  for (const char* platform : {"platform", "last_modified_platform"}) {
    if (draft.contains(platform) && is_platform(draft[platform])) {
      markers.members[platform] = draft[platform];
      if (const std::string app = app_version_in(draft[platform]); !app.empty())
        markers.app_version = app;  // the last saver's, when it says
    }
  }
  return markers;
}

std::optional<VersionMarkers> markers_of_latest_capcut_project(const fs::path& registry,
                                                               const std::string& own_prefix) {
  const std::optional<Json> list = read_capcut_json(registry, MAX_REGISTRY_BYTES);
  if (!list || !list->is_object() || !list->contains("all_draft_store") ||
      !(*list)["all_draft_store"].is_array())
    return std::nullopt;
  std::vector<const Json*> entries;
  for (const Json& entry : (*list)["all_draft_store"]) {
    if (!entry.is_object())
      continue;
    const auto name = entry.find("draft_name");
    if (name != entry.end() && name->is_string() &&
        name->get_ref<const std::string&>().starts_with(own_prefix))
      continue;
    entries.push_back(&entry);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Json* a, const Json* b) {
    return modified_time_us(*a) > modified_time_us(*b);
  });
  if (entries.size() > MAX_PROJECTS_TRIED)
    entries.resize(MAX_PROJECTS_TRIED);
  for (const Json* entry : entries) {
    for (const fs::path& file : draft_files_of(*entry)) {
      if (const std::optional<Json> draft = read_capcut_json(file, MAX_DRAFT_BYTES)) {
        if (auto markers = version_markers_of(*draft))
          return markers;
      }
    }
  }
  return std::nullopt;
}

void apply_version_markers(Json& draft, const VersionMarkers& markers) {
  draft.update(markers.members);
}

std::string version_markers_message(const VersionMarkers& markers, bool from_capcut_project) {
  const std::string build = markers.app_version.empty()
                                ? markers.new_version
                                : markers.app_version + " (" + markers.new_version + ")";
  return "CapCut-Version des Projekts: " + build +
         (from_capcut_project ? ", wie CapCuts zuletzt gespeichertes Projekt"
                              : ", aus der Vorlage");
}
