#include "capcut/meta_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "capcut/capcut_files.h"
#include "capcut/test_clips.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

const Json PORTRAIT = {{"resolution", "Hochformat 1080x1920"}};
const std::string NAME = "Tavelmor_AutoCut_20250102_030405";

std::vector<std::string> keys_of(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it)
    keys.push_back(it.key());
  return keys;
}

int files_in(const fs::path& dir) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
    ++count;
  return count;
}

}  // namespace

class CapcutRegistry : public ::testing::Test {
 protected:
  fs::path registry() const {
    return dir_ / "Projects" / "com.lveditor.draft" / "root_meta_info.json";
  }
  fs::path project() const { return registry().parent_path() / NAME; }

  // Writes `content` as the registry, registers the project and gives the registry back.
  Json register_into(const std::string& content) {
    write_text_file(registry(), content);
    EXPECT_TRUE(update_capcut_root_meta(registry(), NAME, project(), 6750000));
    EXPECT_EQ(read_text_file(capcut_registry_backup_path(registry())), content);
    const auto after = read_capcut_json(registry());
    return after.value_or(Json());
  }

  ScopedTempDir dir_;
};

TEST_F(CapcutRegistry, AbsentRegistryIsCreatedWithItsFolders) {
  const long long before = unix_time_ms();
  ASSERT_TRUE(update_capcut_root_meta(registry(), NAME, project(), 6750000));
  const long long after = unix_time_ms();
  const std::string text = read_text_file(registry());
  EXPECT_EQ(text, json_file_text(parse_json(text)));  // the CapCut file form
  const Json written = parse_json(text);
  ASSERT_EQ(keys_of(written), std::vector<std::string>{"tavelmor_projects"});
  ASSERT_EQ(written["tavelmor_projects"].size(), 1u);
  const Json& entry = written["tavelmor_projects"][0];
  EXPECT_EQ(keys_of(entry),
            (std::vector<std::string>{"id", "draft_id", "name", "draft_name", "path",
                                      "draft_fold_path", "duration", "create_time", "update_time",
                                      "tm_draft_create", "tm_draft_modified"}));
  EXPECT_TRUE(std::regex_match(
      entry["id"].get<std::string>(),
      std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")));
  EXPECT_EQ(entry["draft_id"], entry["id"]);
  EXPECT_EQ(entry["name"], NAME);
  EXPECT_EQ(entry["draft_name"], NAME);
  EXPECT_EQ(entry["path"], path_to_utf8(project()));
  EXPECT_EQ(entry["draft_fold_path"], path_to_utf8(project()));
  EXPECT_EQ(entry["duration"], 6750000);
  const long long created = entry["create_time"];
  EXPECT_GE(created, before);
  EXPECT_LE(created, after);
  for (const char* member : {"update_time", "tm_draft_create", "tm_draft_modified"})
    EXPECT_EQ(entry[member], created) << member;
  EXPECT_FALSE(fs::exists(capcut_registry_backup_path(registry())));
  EXPECT_EQ(files_in(registry().parent_path()), 1);  // no temporary file left
}

TEST_F(CapcutRegistry, EntryGoesToTheFirstListThatIsAnArray) {
  const Json store = register_into(
      R"({"all_draft_store": [{"draft_name": "Alt ü"}], "draft_ids": 3, "root_path": "C:/x"})");
  EXPECT_EQ(keys_of(store),
            (std::vector<std::string>{"all_draft_store", "draft_ids", "root_path"}));
  ASSERT_EQ(store["all_draft_store"].size(), 2u);
  EXPECT_EQ(store["all_draft_store"][0], parse_json(R"({"draft_name": "Alt ü"})"));
  EXPECT_EQ(store["all_draft_store"][1]["draft_name"], NAME);
  EXPECT_EQ(store["draft_ids"], 3);

  const Json projects = register_into(R"({"drafts": {"a": 1}, "infos": [], "projects": []})");
  EXPECT_EQ(projects["drafts"], parse_json(R"({"a": 1})"));
  EXPECT_EQ(projects["projects"].size(), 1u);
  EXPECT_EQ(projects["infos"].size(), 0u);

  const Json top_array = register_into(R"([{"name": "old"}])");
  ASSERT_TRUE(top_array.is_array());
  ASSERT_EQ(top_array.size(), 2u);
  EXPECT_EQ(top_array[1]["name"], NAME);

  const Json own = register_into(R"({"tavelmor_projects": [{"n": 1}, {"n": 2}], "v": 1})");
  ASSERT_EQ(own["tavelmor_projects"].size(), 3u);
  EXPECT_EQ(own["tavelmor_projects"][2]["name"], NAME);

  const Json added = register_into(R"({"draft_list": {}, "root_path": "x"})");
  EXPECT_EQ(keys_of(added),
            (std::vector<std::string>{"draft_list", "root_path", "tavelmor_projects"}));
}

TEST_F(CapcutRegistry, UnreadableRegistryIsLeftByteForByte) {
  const std::string unreadable[] = {
      "{\"all_draft_store\": [",
      "\xEF\xBB\xBF{\"all_draft_store\": []}",
      "{\"all_draft_store\": [\"\xff\"]}",
      "",
  };
  for (const std::string& content : unreadable) {
    write_text_file(registry(), content);
    EXPECT_FALSE(update_capcut_root_meta(registry(), NAME, project(), 1));
    EXPECT_EQ(read_text_file(registry()), content);
    EXPECT_EQ(files_in(registry().parent_path()), 1);  // neither a backup nor a temporary file
  }
  // A list of our own that something else has taken over is not touched either.
  const std::string taken = "{\n  \"tavelmor_projects\": \"x\", \"a\": 1}";
  write_text_file(registry(), taken);
  EXPECT_FALSE(update_capcut_root_meta(registry(), NAME, project(), 1));
  EXPECT_EQ(read_text_file(registry()), taken);
}

TEST_F(CapcutRegistry, FailuresLeaveTheRegistryAsItWas) {
  write_text_file(registry(), "42");
  try {
    update_capcut_root_meta(registry(), NAME, project(), 1);
    FAIL() << "no error";
  } catch (const std::runtime_error& failure) {
    EXPECT_EQ(failure.what(),
              "CapCuts Projektliste hat ein unbekanntes Format: " + path_to_utf8(registry()));
  }
  EXPECT_EQ(read_text_file(registry()), "42");

  // A registry folder that cannot be made: a file stands where it would be.
  write_text_file(dir_ / "blocked", "");
  EXPECT_THROW(
      update_capcut_root_meta(dir_ / "blocked" / "root_meta_info.json", NAME, project(), 1),
      std::runtime_error);
}

// Media lists built from real clips.
class CapcutMetaMedia : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScopedTempDir>("capcut_meta_");
    make_video_clip(*dir_ / "a.mp4", 100);
    make_video_clip(*dir_ / "C:\\Clips\\b.mp4", 40);  // backslashes are plain characters here
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static std::vector<std::string> clips() {
    const std::string base = path_to_utf8(fs::canonical(dir_->path()));
    return {base + "/a.mp4", base + "/C:\\Clips\\b.mp4"};
  }

  static std::unique_ptr<ScopedTempDir> dir_;
};

std::unique_ptr<ScopedTempDir> CapcutMetaMedia::dir_;

TEST_F(CapcutMetaMedia, MediaListHoldsOneEntryPerClipInOrder) {
  const long long before_ms = unix_time_ms();
  const Json list = build_capcut_draft_materials(clips(), PORTRAIT);
  ASSERT_TRUE(list.is_array());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(keys_of(list[0]), (std::vector<std::string>{"type", "value"}));
  EXPECT_EQ(list[0]["type"], 0);
  const Json& entries = list[0]["value"];
  ASSERT_EQ(entries.size(), 2u);

  const long long durations[] = {2500000, 1000000};
  const std::string paths[] = {clips()[0], with_forward_slashes(clips()[1])};
  const char* names[] = {"a.mp4", "C:\\Clips\\b.mp4"};
  for (size_t i = 0; i < 2; ++i) {
    const Json& entry = entries[i];
    EXPECT_EQ(keys_of(entry),
              (std::vector<std::string>{"ai_group_type", "create_time", "duration", "enter_from",
                                        "extra_info", "file_Path", "height", "id", "import_time",
                                        "import_time_ms", "item_source", "md5", "metetype",
                                        "roughcut_time_range", "sub_time_range", "type", "width"}));
    EXPECT_EQ(entry["duration"], durations[i]);
    EXPECT_EQ(entry["extra_info"], names[i]);
    EXPECT_EQ(entry["file_Path"], paths[i]);
    EXPECT_EQ(entry["width"], 1080);
    EXPECT_EQ(entry["height"], 1920);
    EXPECT_EQ(entry["metetype"], "video");
    EXPECT_EQ(entry["import_time"], entries[0]["import_time"]);
    EXPECT_EQ(entry["import_time_ms"].get<long long>(),
              entry["import_time"].get<long long>() * 1000);
    EXPECT_GE(entry["import_time"].get<long long>(), before_ms);
    // Seconds, not milliseconds.
    EXPECT_LE(entry["create_time"].get<long long>(), unix_time_seconds());
    EXPECT_GE(entry["create_time"].get<long long>(), before_ms / 1000);
    EXPECT_EQ(json_line_text(entry["roughcut_time_range"]),
              "{\"duration\": " + std::to_string(durations[i]) + ", \"start\": 0}");
    EXPECT_EQ(json_line_text(entry["sub_time_range"]), R"({"duration": -1, "start": -1})");
  }
  EXPECT_NE(entries[0]["id"], entries[1]["id"]);
}

TEST_F(CapcutMetaMedia, MetaFileGetsTheNewMediaListAndProjectPlace) {
  ScopedTempDir projects;
  const fs::path project = projects / NAME;
  write_text_file(project / "draft_meta_info.json",
                  R"({"draft_id": "T", "draft_materials": [{"type": 0, "value": [{"id": "OLD"}]},)"
                  R"( {"type": 1, "value": []}], "draft_name": "", "tm_draft_modified": 1,)"
                  R"( "draft_cover": "draft_cover.jpg", "update_time": 2})");
  std::vector<std::string> logged;
  const long long before_ms = unix_time_ms();
  patch_capcut_meta_materials(project, clips(), PORTRAIT, 3500000, NAME,
                              [&](const std::string& line) { logged.push_back(line); });
  EXPECT_EQ(logged,
            std::vector<std::string>{"CapCut: Medienliste aus aktuellen Clips neu erstellt"});

  const std::string text = read_text_file(project / "draft_meta_info.json");
  EXPECT_EQ(text, json_file_text(parse_json(text)));
  const Json meta = parse_json(text);
  EXPECT_EQ(keys_of(meta),
            (std::vector<std::string>{"draft_id", "draft_materials", "draft_name",
                                      "tm_draft_modified", "draft_cover", "update_time",
                                      "draft_fold_path", "draft_root_path", "tm_duration"}));
  EXPECT_EQ(meta["draft_materials"].size(), 1u);
  EXPECT_EQ(meta["draft_materials"][0]["value"].size(), 2u);
  EXPECT_EQ(meta["draft_name"], NAME);
  EXPECT_EQ(meta["draft_fold_path"], with_forward_slashes(path_to_utf8(project)));
  EXPECT_EQ(meta["draft_root_path"], with_forward_slashes(projects.text()));
  EXPECT_EQ(meta["tm_duration"], 3500000);
  EXPECT_GE(meta["tm_draft_modified"].get<long long>(), before_ms);
  EXPECT_EQ(meta["update_time"], meta["tm_draft_modified"]);
  EXPECT_EQ(meta["draft_id"], "T");
}

TEST_F(CapcutMetaMedia, MissingOrUnreadableMetaFileIsLeftAlone) {
  ScopedTempDir project;
  std::vector<std::string> logged;
  const MessageFn log = [&](const std::string& line) { logged.push_back(line); };
  patch_capcut_meta_materials(project.path(), clips(), PORTRAIT, 1, NAME, log);
  EXPECT_EQ(files_in(project.path()), 0);

  for (const std::string content : {"{\"draft_name\": ", "\xEF\xBB\xBF{\"draft_name\": \"x\"}"}) {
    write_text_file(project / "draft_meta_info.json", content);
    patch_capcut_meta_materials(project.path(), clips(), PORTRAIT, 1, NAME, log);
    EXPECT_EQ(read_text_file(project / "draft_meta_info.json"), content);
  }
  EXPECT_TRUE(logged.empty());

  write_text_file(project / "draft_meta_info.json", "[]");
  EXPECT_THROW(patch_capcut_meta_materials(project.path(), clips(), PORTRAIT, 1, NAME, log),
               std::runtime_error);
  EXPECT_EQ(read_text_file(project / "draft_meta_info.json"), "[]");
}
