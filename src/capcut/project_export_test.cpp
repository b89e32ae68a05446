#include "capcut/project_export.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <regex>
#include <set>

#include "capcut/capcut_files.h"
#include "capcut/meta_files.h"
#include "capcut/program_dir.h"
#include "capcut/test_clips.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

const Json PORTRAIT = {{"resolution", "Hochformat 1080x1920"}};

// One export's callbacks, recorded.
struct ExportRun {
  std::vector<std::string> logged;
  std::vector<std::string> done;
  std::vector<std::string> errors;
};

// A scratch home folder with a Desktop (for the error log) and CapCut's folder inside it.
class ScratchHome {
 public:
  ScratchHome() { fs::create_directories(home_ / "Desktop"); }
  CapcutExportPlaces places(const fs::path& template_dir) const {
    return {projects(), template_dir, fixed_paths_for_home(home_.path())};
  }
  fs::path projects() const { return capcut_project_dir_for_home(home_.path()); }
  fs::path registry() const { return projects() / "root_meta_info.json"; }
  std::string error_log() const {
    return read_text_file(fixed_paths_for_home(home_.path()).error_log);
  }
  const ScopedTempDir& dir() const { return home_; }

 private:
  ScopedTempDir home_{"capcut_home_"};
};

ExportRun run_export(const std::vector<std::string>& files, const ScratchHome& home,
                     const fs::path& template_dir, const MessageFn& done_hook = nullptr) {
  ExportRun run;
  run_capcut_project_export(
      files, PORTRAIT, [&](const std::string& line) { run.logged.push_back(line); },
      [&](const std::string& path) {
        run.done.push_back(path);
        if (done_hook)
          done_hook(path);
      },
      [&](const std::string& text) { run.errors.push_back(text); }, home.places(template_dir));
  return run;
}

std::string local_stamp(std::chrono::system_clock::time_point at) {
  const std::time_t time = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y%m%d_%H%M%S", &local);
  return buffer;
}

Json read_json(const fs::path& path) {
  return parse_json(read_text_file(path));
}

bool is_upper_uuid(const std::string& id) {
  static const std::regex form(
      "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  return std::regex_match(id, form);
}

// The names of all files below `dir`, relative to it.
std::set<std::string> files_below(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file())
      names.insert(entry.path().lexically_relative(dir).generic_string());
  }
  return names;
}

constexpr long long MICROSECONDS_FROM = 1000000000000000LL;

std::vector<long long> segment_durations(const Json& draft) {
  std::vector<long long> durations;
  for (const Json& segment : draft["tracks"][0]["segments"])
    durations.push_back(segment["target_timerange"]["duration"]);
  return durations;
}

}  // namespace

TEST(CapcutPlaces, ProjectFolderBelowTheHomeAndTemplateBesideTheProgram) {
  EXPECT_EQ(capcut_project_dir_for_home("/h/ü", CapcutHost::other),
            fs::path("/h/ü/AppData/Local/CapCut/User Data/Projects/com.lveditor.draft"));
  EXPECT_EQ(capcut_project_dir_for_home("/h/ü", CapcutHost::macos),
            fs::path("/h/ü/Movies/CapCut/User Data/Projects/com.lveditor.draft"));
  const fs::path dir = program_dir();
  EXPECT_TRUE(dir.is_absolute());
  EXPECT_TRUE(fs::equivalent(dir / program_file().filename(), program_file()));
  EXPECT_EQ(capcut_template_dir(), dir / "capcut_template");
}

// The template that the build places beside the programs.
TEST(CapcutOwnTemplate, LooksLikeAnEmptyWindowsProject) {
  const fs::path dir = capcut_template_dir();
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    names.insert(path_to_utf8(entry.path().lexically_relative(dir)));
  EXPECT_EQ(names, (std::set<std::string>{"draft_content.json", "draft_meta_info.json",
                                          "draft_virtual_store.json"}));
  for (const std::string& name : names) {
    const std::string text = read_text_file(dir / name);
    ASSERT_TRUE(parse_capcut_json(text).has_value()) << name;
    EXPECT_EQ(text, json_file_text(parse_json(text))) << name;
  }

  const Json draft = read_json(dir / "draft_content.json");
  for (const char* member : {"id",
                             "name",
                             "duration",
                             "fps",
                             "create_time",
                             "update_time",
                             "version",
                             "new_version",
                             "color_space",
                             "render_index_track_mode_on",
                             "free_render_index_mode_on",
                             "is_drop_frame_timecode",
                             "source",
                             "path",
                             "cover",
                             "extra_info",
                             "static_cover_image_path",
                             "retouch_cover",
                             "time_marks",
                             "lyrics_effects",
                             "group_container",
                             "uneven_animation_template_info",
                             "relationships",
                             "mutable_config",
                             "keyframe_graph_list",
                             "platform",
                             "last_modified_platform",
                             "canvas_config",
                             "config",
                             "keyframes",
                             "materials",
                             "tracks"})
    EXPECT_TRUE(draft.contains(member)) << member;
  EXPECT_EQ(draft["canvas_config"]["width"], 1080);
  EXPECT_EQ(draft["canvas_config"]["height"], 1920);
  EXPECT_EQ(draft["materials"].size(), 49u);
  for (const auto& list : draft["materials"])
    EXPECT_EQ(list, Json::array());
  EXPECT_EQ(draft["keyframes"].size(), 8u);
  ASSERT_EQ(draft["tracks"].size(), 1u);
  EXPECT_EQ(draft["tracks"][0]["type"], "video");
  EXPECT_EQ(draft["tracks"][0]["segments"], Json::array());
  // The version markers claim one build throughout.
  EXPECT_EQ(draft["new_version"], "185.0.0");
  EXPECT_EQ(draft["version"], 360000);
  for (const char* platform : {"platform", "last_modified_platform"}) {
    EXPECT_EQ(draft[platform]["app_version"], "9.4.1");
    EXPECT_EQ(draft[platform]["os"], "windows");
    EXPECT_EQ(draft[platform]["app_id"], 359289);
  }

  const Json meta = read_json(dir / "draft_meta_info.json");
  std::vector<int> groups;
  for (const Json& group : meta["draft_materials"])
    groups.push_back(group["type"]);
  EXPECT_EQ(groups, (std::vector<int>{0, 1, 2, 3, 6, 7, 8}));
  EXPECT_NE(meta["draft_id"], draft["id"]);  // the project's identity is not its timeline's
  for (const char* member : {"tm_draft_create", "tm_draft_modified"})
    EXPECT_GE(meta[member].get<long long>(), MICROSECONDS_FROM) << member;
  EXPECT_EQ(read_json(dir / "draft_virtual_store.json")["draft_virtual_store"].size(), 3u);
}

TEST(CapcutProjectExport, RefusesBeforeTouchingCapcut) {
  ScratchHome home;
  ScopedTempDir templates;
  const struct {
    fs::path template_dir;
    std::vector<std::string> files;
    const char* message;
  } cases[] = {
      {templates / "absent", {}, "CapCut-Template fehlt im Backend."},
      {templates / "absent", {"/a.mp4"}, "CapCut-Template fehlt im Backend."},
      {templates.path(), {}, "Keine Clips für CapCut Export vorhanden."},
  };
  for (const auto& c : cases) {
    const ExportRun run = run_export(c.files, home, c.template_dir);
    EXPECT_EQ(run.errors, std::vector<std::string>{c.message});
    EXPECT_TRUE(run.done.empty());
    EXPECT_TRUE(run.logged.empty());
    EXPECT_NE(home.error_log().find(c.message), std::string::npos);
    EXPECT_FALSE(fs::exists(home.projects()));
  }
}

TEST(CapcutProjectExport, TemplateWithoutUsableDraftLeavesAnUnregisteredCopy) {
  ScratchHome home;
  ScopedTempDir templates;
  write_text_file(templates / "empty" / "notes.txt", "n");
  write_text_file(templates / "broken" / "draft_content.json", "{\"tracks\": [");
  // Stale copies and timeline drafts are no main draft.
  for (const char* name : {"draft_info.json.bak", "template-2.tmp", "Timelines/A/draft_info.json"})
    write_text_file(templates / "stale" / name, "{}");

  const ExportRun missing = run_export({"/nowhere/a.mp4"}, home, templates / "empty");
  EXPECT_EQ(missing.errors,
            std::vector<std::string>{"CapCut Template enthält keine draft_content.json"});
  ASSERT_EQ(missing.logged.size(), 1u);
  const std::string name =
      missing.logged[0].substr(std::string("Erstelle CapCut-Projekt: ").size());
  EXPECT_EQ(read_text_file(home.projects() / name / "notes.txt"), "n");
  EXPECT_EQ(run_export({"/nowhere/a.mp4"}, home, templates / "stale").errors, missing.errors);

  const ExportRun broken = run_export({"/nowhere/a.mp4"}, home, templates / "broken");
  ASSERT_EQ(broken.errors.size(), 1u);
  EXPECT_NE(broken.errors[0].find("draft_content.json"), std::string::npos) << broken.errors[0];
  EXPECT_TRUE(broken.done.empty());
  EXPECT_FALSE(fs::exists(home.registry()));
}

// Whole exports of real clips: 100, 40 and 130 frames at 40 fps.
class CapcutExportMedia : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScopedTempDir>("capcut_export_");
    make_video_clip(*dir_ / "a.mp4", 100);
    make_video_clip(*dir_ / "b.mkv", 40);
    make_video_clip(*dir_ / "c.mov", 130);
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static std::vector<std::string> clips() {
    return {dir_->text() + "/a.mp4", dir_->text() + "/b.mkv", dir_->text() + "/c.mov"};
  }

  static std::unique_ptr<ScopedTempDir> dir_;
};

std::unique_ptr<ScopedTempDir> CapcutExportMedia::dir_;

TEST_F(CapcutExportMedia, ProjectFromOurTemplateHoldsTheClipsAndIsRegistered) {
  ScratchHome home;
  const long long before_us = unix_time_us();
  const ExportRun run = run_export(clips(), home, capcut_template_dir());
  const long long after_us = unix_time_us();
  ASSERT_TRUE(run.errors.empty()) << run.errors[0];
  ASSERT_EQ(run.done.size(), 1u);
  const fs::path project = path_from_utf8(run.done[0]);
  EXPECT_EQ(project.parent_path(), home.projects());
  const std::string name = path_to_utf8(project.filename());
  EXPECT_TRUE(std::regex_match(name, std::regex("Tavelmor_AutoCut_[0-9]{8}_[0-9]{6}"))) << name;
  EXPECT_EQ(run.logged, (std::vector<std::string>{
                            "Erstelle CapCut-Projekt: " + name,
                            "CapCut-Version des Projekts: 9.4.1 (185.0.0), aus der Vorlage",
                            "CapCut: Medienliste aus aktuellen Clips neu erstellt",
                            "CapCut Export nutzt die Clips direkt aus der Reihenfolge",
                            "CapCut-Projekt erstellt: " + run.done[0]}));

  const Json draft = read_json(project / "draft_content.json");
  EXPECT_EQ(segment_durations(draft), (std::vector<long long>{2500000, 1000000, 3250000}));
  EXPECT_EQ(draft["duration"], 6750000);
  EXPECT_EQ(draft["materials"]["videos"][1]["path"], path_to_utf8(fs::canonical(clips()[1])));
  EXPECT_EQ(draft["canvas_config"],
            read_json(capcut_template_dir() / "draft_content.json")["canvas_config"]);

  const Json meta = read_json(project / "draft_meta_info.json");
  EXPECT_EQ(meta["draft_name"], name);
  EXPECT_EQ(meta["tm_duration"], 6750000);
  ASSERT_EQ(meta["draft_materials"][0]["value"].size(), 3u);
  // Each material names its file's entry in the media list; CapCut reports the media as missing
  // otherwise.
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(draft["materials"]["videos"][i]["local_material_id"],
              meta["draft_materials"][0]["value"][i]["id"]);
  }
  EXPECT_EQ(read_text_file(project / "draft_virtual_store.json"),
            read_text_file(capcut_template_dir() / "draft_virtual_store.json"));

  // A project of its own: new identifiers where the template had one.
  const Json template_meta = read_json(capcut_template_dir() / "draft_meta_info.json");
  EXPECT_TRUE(is_upper_uuid(meta["draft_id"])) << meta["draft_id"];
  EXPECT_NE(meta["draft_id"], template_meta["draft_id"]);
  EXPECT_TRUE(is_upper_uuid(draft["id"])) << draft["id"];
  EXPECT_NE(draft["id"], meta["draft_id"]);
  // Created and modified now, in the microseconds the template uses.
  for (const char* member : {"tm_draft_create", "tm_draft_modified"}) {
    EXPECT_GE(meta[member].get<long long>(), before_us) << member;
    EXPECT_LE(meta[member].get<long long>(), after_us) << member;
  }

  const Json registry = read_json(home.registry());
  ASSERT_EQ(registry["tavelmor_projects"].size(), 1u);
  const Json& entry = registry["tavelmor_projects"][0];
  EXPECT_EQ(entry["path"], run.done[0]);
  EXPECT_EQ(entry["duration"], 6750000);
  EXPECT_EQ(entry["id"], meta["draft_id"]);
  EXPECT_EQ(entry["draft_id"], meta["draft_id"]);
  EXPECT_EQ(entry["draft_json_file"], path_to_utf8(project / "draft_content.json"));
  EXPECT_GE(entry["tm_draft_create"].get<long long>(), before_us);
}

// A template as current builds save it: the timeline in draft_info.json, a copy below
// Timelines/<its id>/ listed in Timelines/project.json, and stale save copies beside both.
TEST_F(CapcutExportMedia, TemplateOfCurrentBuildsWithTimelinesAndStaleCopies) {
  ScratchHome home;
  ScopedTempDir templates;
  const fs::path tpl = templates / "t";
  // The main draft names another id than its copy: the export makes them one.
  for (const char* name :
       {"draft_info.json", "draft_info.json.bak", "template.tmp", "template-2.tmp"})
    write_text_file(tpl / name, R"({"id": "T-1", "duration": 0, "tracks": []})");
  for (const char* name : {"Timelines/TL-1/draft_info.json", "Timelines/TL-1/draft_info.json.BAK",
                           "Timelines/TL-1/template-2.tmp"})
    write_text_file(tpl / name, R"({"id": "TL-1", "duration": 0, "tracks": []})");
  write_text_file(tpl / "Timelines" / "project.json",
                  R"({"config": {"color_space": -1}, "create_time": 1700000000000000,)"
                  R"( "id": "P-1", "main_timeline_id": "TL-1", "timelines": [{"create_time":)"
                  R"( 1700000000000000, "id": "TL-1", "is_marked_delete": false, "name":)"
                  R"( "Timeline 01", "update_time": 1700000000000000}],)"
                  R"( "update_time": 1700000000000000, "version": 0})");
  write_text_file(
      tpl / "draft_meta_info.json",
      R"({"draft_id": "TL-1", "draft_name": "Leer", "tm_draft_create": 1700000000000000,)"
      R"( "tm_draft_modified": 1700000000000000, "tm_draft_removed": 0})");

  std::set<std::string> identities;
  for (int round = 0; round < 2; ++round) {
    const long long before_us = unix_time_us();
    const ExportRun run = run_export({clips()[1]}, home, tpl);
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    const fs::path project = path_from_utf8(run.done.at(0));
    const Json main = read_json(project / "draft_info.json");
    ASSERT_TRUE(main["id"].is_string());
    const std::string timeline_id = main["id"];
    EXPECT_TRUE(is_upper_uuid(timeline_id));
    // One timeline: the main draft's id names its folder and is project.json's main timeline.
    EXPECT_EQ(files_below(project),
              (std::set<std::string>{"draft_info.json", "draft_meta_info.json",
                                     "Timelines/" + timeline_id + "/draft_info.json",
                                     "Timelines/project.json"}));
    const Json listing = read_json(project / "Timelines" / "project.json");
    EXPECT_EQ(listing["main_timeline_id"], timeline_id);
    ASSERT_EQ(listing["timelines"].size(), 1u);
    EXPECT_EQ(listing["timelines"][0]["id"], timeline_id);
    EXPECT_EQ(listing["timelines"][0]["name"], "Timeline 01");
    EXPECT_TRUE(is_upper_uuid(listing["id"]));
    EXPECT_NE(listing["id"], timeline_id);
    for (const Json* times : {&listing, &listing["timelines"][0]}) {
      EXPECT_GE((*times)["create_time"].get<long long>(), before_us);
      EXPECT_EQ((*times)["update_time"], (*times)["create_time"]);
    }

    const Json timeline = read_json(project / "Timelines" / timeline_id / "draft_info.json");
    for (const Json* rewritten : {&main, &timeline}) {
      EXPECT_EQ(segment_durations(*rewritten), std::vector<long long>{1000000});
      EXPECT_EQ((*rewritten)["duration"], 1000000);
      EXPECT_EQ((*rewritten)["id"], timeline_id);
      // The track the export adds is one that CapCut's readers take.
      const Json& track = (*rewritten)["tracks"][0];
      EXPECT_EQ(track["attribute"], 0);
      EXPECT_EQ(track["flag"], 0);
      EXPECT_EQ(track["is_default_name"], true);
      EXPECT_EQ(track["name"], "");
      EXPECT_TRUE(is_upper_uuid(track["id"]));
      EXPECT_EQ(track["type"], "video");
    }

    // The project's identity is apart from its timeline's, although the template shared one.
    const Json meta = read_json(project / "draft_meta_info.json");
    EXPECT_TRUE(is_upper_uuid(meta["draft_id"]));
    EXPECT_NE(meta["draft_id"], timeline_id);
    EXPECT_GE(meta["tm_draft_create"].get<long long>(), before_us);
    EXPECT_GE(meta["tm_draft_modified"], meta["tm_draft_create"]);
    EXPECT_EQ(meta["tm_draft_removed"], 0);
    identities.insert(meta["draft_id"].get<std::string>());
    identities.insert(timeline_id);
    identities.insert(listing["id"].get<std::string>());

    const Json registry = read_json(home.registry());
    const Json& entry = registry["tavelmor_projects"][round];
    EXPECT_EQ(entry["draft_id"], meta["draft_id"]);
    EXPECT_EQ(entry["draft_json_file"], path_to_utf8(project / "draft_info.json"));
  }
  EXPECT_EQ(identities.size(), 6u);  // no two projects share one
}

// Timelines/project.json and the folders below Timelines/ change together or not at all. Here
// both folders are to take the main draft's new identifier, so the second rename fails.
TEST_F(CapcutExportMedia, TimelineFoldersStayAsListedWhenTheirRenewalFails) {
  ScratchHome home;
  ScopedTempDir templates;
  const fs::path tpl = templates / "t";
  write_text_file(tpl / "draft_info.json", R"({"id": "D", "duration": 0, "tracks": []})");
  for (const char* id : {"A", "D"})
    write_text_file(tpl / "Timelines" / id / "draft_info.json", R"({"duration": 0, "tracks": []})");
  write_text_file(tpl / "Timelines" / "project.json",
                  R"({"main_timeline_id": "A", "timelines": [{"id": "A"}, {"id": "D"}]})");

  const ExportRun run = run_export({clips()[1]}, home, tpl);
  ASSERT_TRUE(run.errors.empty()) << run.errors[0];
  const fs::path timelines = path_from_utf8(run.done.at(0)) / "Timelines";
  const Json listing = read_json(timelines / "project.json");
  EXPECT_TRUE(fs::is_directory(timelines / listing["main_timeline_id"].get<std::string>()));
  for (const Json& timeline : listing["timelines"])
    EXPECT_TRUE(fs::is_directory(timelines / timeline["id"].get<std::string>())) << timeline;
}

TEST_F(CapcutExportMedia, RegistryThatCannotTakeTheProjectIsReportedAsWhatItIs) {
  const std::string prefix =
      "CapCut-Projekt erstellt, konnte aber nicht in CapCuts Projektliste eingetragen werden: ";
  const struct {
    std::string registry;
    bool write_protected;
    std::string reason;
  } cases[] = {
      {R"({"tavelmor_projects": "x"})", false,
       " hat keine Liste für neue Projekte („tavelmor_projects“ ist keine Liste) und bleibt "
       "unverändert"},
      {R"({"all_draft_store": []})", true, " ist schreibgeschützt und bleibt unverändert"},
  };
  for (const auto& c : cases) {
    ScratchHome home;
    write_text_file(home.registry(), c.registry);
    const fs::perms write_bits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (c.write_protected)
      fs::permissions(home.registry(), write_bits, fs::perm_options::remove);
    const ExportRun run = run_export({clips()[1]}, home, capcut_template_dir());
    ASSERT_EQ(run.done.size(), 1u) << c.registry;
    ASSERT_EQ(run.logged.size(), 6u);
    EXPECT_EQ(run.logged[3], prefix + path_to_utf8(home.registry()) + c.reason);
    EXPECT_EQ(read_text_file(home.registry()), c.registry);
    fs::permissions(home.registry(), fs::perms::owner_write, fs::perm_options::add);
  }
}

TEST_F(CapcutExportMedia, TimelineDraftsMetaFilesAndAClashingName) {
  ScratchHome home;
  ScopedTempDir templates;
  const fs::path tpl = templates / "t";
  const std::string draft = R"({"id": "D", "duration": 0, "tracks": [{"type": "video"}]})";
  write_text_file(tpl / "draft_content.json", draft);
  write_text_file(tpl / "draft_info.json", draft);  // a template with both names
  write_text_file(tpl / "Timelines" / "one" / "draft_content.json", draft);
  write_text_file(tpl / "Timelines" / "two" / "deeper" / "draft_content.json", draft);
  write_text_file(tpl / "Timelines" / "three" / "draft_content.json", "{\"tracks\": ");
  write_text_file(tpl / "draft_virtual_store.json",
                  R"({"name": "", "draft_duration": 0, "modify_time": 1, "other": "kept"})");
  // Folders for the names of the next seconds already exist, as after an export just before.
  const auto now = std::chrono::system_clock::now();
  for (int second = 0; second < 30; ++second)
    fs::create_directories(home.projects() /
                           ("Tavelmor_AutoCut_" + local_stamp(now + std::chrono::seconds(second))));
  const std::string store = R"({"all_draft_store": [], "draft_ids": 1})";
  write_text_file(home.registry(), store);

  const ExportRun run = run_export(clips(), home, tpl);
  ASSERT_TRUE(run.errors.empty()) << run.errors[0];
  const fs::path project = path_from_utf8(run.done.at(0));
  const std::string folder = path_to_utf8(project.filename());
  ASSERT_TRUE(
      std::regex_match(folder, std::regex("Tavelmor_AutoCut_[0-9]{8}_[0-9]{6}_[0-9a-f]{6}")))
      << folder;
  const std::string name = folder.substr(0, folder.size() - 7);
  EXPECT_EQ(run.logged,
            (std::vector<std::string>{"Erstelle CapCut-Projekt: " + name,
                                      "CapCut Export nutzt die Clips direkt aus der Reihenfolge",
                                      "CapCut-Projekt erstellt: " + run.done[0]}));

  std::set<std::string> ids;
  for (const fs::path& file : {project / "draft_content.json", project / "draft_info.json",
                               project / "Timelines" / "one" / "draft_content.json",
                               project / "Timelines" / "two" / "deeper" / "draft_content.json"}) {
    const Json rewritten = read_json(file);
    EXPECT_EQ(segment_durations(rewritten), (std::vector<long long>{2500000, 1000000, 3250000}))
        << file;
    for (const Json& material : rewritten["materials"]["videos"])
      ids.insert(material["id"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), 12u);
  EXPECT_EQ(read_text_file(project / "Timelines" / "three" / "draft_content.json"),
            "{\"tracks\": ");

  const Json virtual_store = read_json(project / "draft_virtual_store.json");
  EXPECT_EQ(virtual_store["name"], name);
  EXPECT_EQ(virtual_store["draft_duration"], 6750000);
  EXPECT_GT(virtual_store["modify_time"].get<long long>(), 1);
  EXPECT_EQ(virtual_store["other"], "kept");

  const Json registry = read_json(home.registry());
  ASSERT_EQ(registry["all_draft_store"].size(), 1u);
  EXPECT_EQ(registry["all_draft_store"][0]["name"], name);
  EXPECT_EQ(registry["all_draft_store"][0]["path"], run.done[0]);
  EXPECT_EQ(registry["all_draft_store"][0]["draft_json_file"],
            path_to_utf8(project / "draft_content.json"));
  EXPECT_EQ(read_text_file(capcut_registry_backup_path(home.registry())), store);
}

TEST_F(CapcutExportMedia, UnreadableRegistryStaysAndTheExportSucceeds) {
  ScratchHome home;
  const std::string unreadable = "{\"all_draft_store\": [{\"draft_name\": \"Mein Projekt\"";
  write_text_file(home.registry(), unreadable);
  const ExportRun run = run_export({clips()[1]}, home, capcut_template_dir());
  ASSERT_TRUE(run.errors.empty()) << run.errors[0];
  ASSERT_EQ(run.done.size(), 1u);
  EXPECT_EQ(read_text_file(home.registry()), unreadable);
  EXPECT_FALSE(fs::exists(capcut_registry_backup_path(home.registry())));
  ASSERT_EQ(run.logged.size(), 6u);
  EXPECT_EQ(run.logged[3],
            "CapCut-Projekt erstellt, konnte aber nicht in CapCuts Projektliste eingetragen "
            "werden: " +
                path_to_utf8(home.registry()) + " ist nicht lesbar und bleibt unverändert");
  EXPECT_EQ(run.logged[5], "CapCut-Projekt erstellt: " + run.done[0]);
}

TEST_F(CapcutExportMedia, FailuresReachErrOnceAndLeaveTheRegistryAlone) {
  ScratchHome home;
  const ExportRun missing =
      run_export({clips()[0], dir_->text() + "/gone.mp4"}, home, capcut_template_dir());
  ASSERT_EQ(missing.errors.size(), 1u);
  EXPECT_NE(missing.errors[0].find("gone.mp4"), std::string::npos) << missing.errors[0];
  EXPECT_TRUE(missing.done.empty());
  EXPECT_NE(home.error_log().find(missing.errors[0]), std::string::npos);
  EXPECT_FALSE(fs::exists(home.registry()));

  // An error raised by `done` takes the same path.
  const ExportRun refused =
      run_export({clips()[1]}, home, capcut_template_dir(),
                 [](const std::string&) { throw std::runtime_error("Anzeige nicht möglich"); });
  EXPECT_EQ(refused.done.size(), 1u);
  EXPECT_EQ(refused.errors, std::vector<std::string>{"Anzeige nicht möglich"});
}

// The project claims the build of the user's own CapCut: that of the project CapCut saved last
// whose draft reads, else the template's.
TEST_F(CapcutExportMedia, VersionMarkersComeFromTheProjectCapcutSavedLast) {
  const auto platform = [](const char* os, const char* app) {
    return Json{{"os", os},           {"os_version", "14.5"}, {"app_id", 359289},
                {"app_version", app}, {"app_source", "cc"},   {"device_id", "ab12"},
                {"hard_disk_id", ""}, {"mac_address", "cd34"}};
  };
  const auto project = [&](const ScratchHome& home, const std::string& name, long long modified,
                           const std::string& draft_text) {
    const fs::path folder = home.projects() / name;
    write_text_file(folder / "draft_info.json", draft_text);
    return Json{{"draft_fold_path", path_to_utf8(folder)},
                {"draft_json_file", path_to_utf8(folder / "draft_info.json")},
                {"draft_name", name},
                {"tm_draft_modified", modified}};
  };
  const auto draft_of = [&](const char* new_version, const char* app) {
    return json_line_text(Json{{"new_version", new_version},
                               {"version", 360000},
                               {"platform", platform("mac", "7.8.0")},
                               {"last_modified_platform", platform("mac", app)},
                               {"tracks", Json::array()}});
  };

  for (const bool readable : {true, false}) {
    ScratchHome home;
    Json store = Json::array();
    // Ours, newest of all: not saved by CapCut.
    store.push_back(project(home, "Tavelmor_AutoCut_20250101_000000", 1735000000000003,
                            draft_of("999.0.0", "99.0.0")));
    // Saved by a build that encrypts its drafts.
    store.push_back(project(home, "Verschlüsselt", 1735000000000002, "\x8f\x01\xa7 encrypted"));
    if (readable) {
      store.push_back(project(home, "Alt", 1735000000000000, draft_of("153.0.0", "7.8.0")));
      store.push_back(project(home, "Urlaub", 1735000000000001, draft_of("171.0.0", "8.7.0")));
    }
    write_text_file(home.registry(), json_file_text(Json{{"all_draft_store", store}}));

    const ExportRun run = run_export({clips()[1]}, home, capcut_template_dir());
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    const Json draft = read_json(path_from_utf8(run.done.at(0)) / "draft_content.json");
    if (readable) {
      EXPECT_EQ(run.logged.at(1),
                "CapCut-Version des Projekts: 8.7.0 (171.0.0), wie CapCuts zuletzt gespeichertes "
                "Projekt");
      EXPECT_EQ(draft["new_version"], "171.0.0");
      EXPECT_EQ(draft["platform"], platform("mac", "7.8.0"));
      EXPECT_EQ(draft["last_modified_platform"], platform("mac", "8.7.0"));
    } else {
      EXPECT_EQ(run.logged.at(1), "CapCut-Version des Projekts: 9.4.1 (185.0.0), aus der Vorlage");
      EXPECT_EQ(draft["new_version"], "185.0.0");
      EXPECT_EQ(draft["last_modified_platform"]["os"], "windows");
    }
    EXPECT_EQ(draft["version"], 360000);
  }
}

// A user who moved CapCut's drafts elsewhere gets the project and its entry there.
TEST_F(CapcutExportMedia, TheDraftFolderNamedInCapcutsSettingsTakesTheProject) {
  ScopedTempDir elsewhere;
  const fs::path custom = elsewhere / "Meine Entwürfe";
  fs::create_directories(custom);
  // As CapCut writes a path into its settings: backslashes doubled.
  const auto setting = [](const fs::path& path) {
    std::string text;
    for (const char c : path_to_utf8(path))
      text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
  };
  const struct {
    std::string settings;  // empty: a folder stands where the settings file would be
    bool moved;
  } cases[] = {
      {"[Other]\ncurrentCustomDraftPath=/x\n[General]\r\nlanguage=de\r\ncurrentCustomDraftPath=" +
           setting(custom) + "\r\n",
       true},
      {"[General]\ncurrentCustomDraftPath=" + setting(elsewhere / "weg") + "\n", false},
      {"", false},
  };
  for (const auto& c : cases) {
    ScratchHome home;
    const fs::path settings =
        home.projects().parent_path().parent_path() / "Config" / "globalSetting";
    if (c.settings.empty())
      fs::create_directories(settings);
    else
      write_text_file(settings, c.settings);
    const ExportRun run = run_export({clips()[1]}, home, capcut_template_dir());
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    const fs::path project = path_from_utf8(run.done.at(0));
    const fs::path drafts = c.moved ? custom : home.projects();
    EXPECT_EQ(project.parent_path(), drafts) << c.settings;
    const Json registry = read_json(drafts / "root_meta_info.json");
    EXPECT_EQ(registry["tavelmor_projects"].at(0)["path"], run.done[0]);
    EXPECT_EQ(fs::exists(home.projects()), !c.moved);
    if (c.moved) {
      EXPECT_EQ(run.logged.at(1),
                "CapCut-Projektordner laut CapCuts Einstellungen: " + path_to_utf8(custom));
    }
  }
}
