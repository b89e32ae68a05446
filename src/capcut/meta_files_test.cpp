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
const std::string ID = "0C8D7E2A-5B3F-4C1D-9E6A-7F8B9C0D1E2F";

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
  CapcutProjectEntry entry() const {
    return {ID, NAME, project(), project() / "draft_info.json", 6750000};
  }
  RegistryUpdate update() const { return update_capcut_root_meta(registry(), entry()); }

  // Writes `content` as the registry, registers the project and gives the registry back.
  Json register_into(const std::string& content) {
    write_text_file(registry(), content);
    EXPECT_EQ(update(), RegistryUpdate::added);
    EXPECT_EQ(read_text_file(capcut_registry_backup_path(registry())), content);
    const auto after = read_capcut_json(registry());
    return after.value_or(Json());
  }

  ScopedTempDir dir_;
};

TEST_F(CapcutRegistry, AbsentRegistryIsCreatedWithItsFolders) {
  const long long before = unix_time_us();
  ASSERT_EQ(update(), RegistryUpdate::added);
  const long long after = unix_time_us();
  const std::string text = read_text_file(registry());
  EXPECT_EQ(text, json_file_text(parse_json(text)));  // the CapCut file form
  const Json written = parse_json(text);
  ASSERT_EQ(keys_of(written), std::vector<std::string>{"tavelmor_projects"});
  ASSERT_EQ(written["tavelmor_projects"].size(), 1u);
  const Json& entry = written["tavelmor_projects"][0];
  const std::vector<std::string> keys = keys_of(entry);
  EXPECT_EQ(
      std::vector<std::string>(keys.begin(), keys.begin() + 16),
      (std::vector<std::string>{"id", "draft_id", "name", "draft_name", "path", "draft_fold_path",
                                "duration", "create_time", "update_time", "tm_draft_create",
                                "tm_draft_modified", "draft_json_file", "draft_root_path",
                                "draft_cover", "tm_duration", "draft_is_invisible"}));
  // With no entry to copy, the members of CapCut's own entries, of CapCut's kinds: a project
  // that is local, visible and in no cloud.
  const std::vector<std::pair<const char*, std::vector<const char*>>> capcut_members = {
      {"false",
       {"cloud_draft_cover", "cloud_draft_sync", "draft_cloud_last_action_download",
        "draft_is_ai_shorts", "draft_is_cloud_temp_draft", "draft_is_web_article_video"}},
      {"true", {"streaming_edit_draft_ready"}},
      {"\"\"",
       {"draft_cloud_purchase_info", "draft_cloud_template_id", "draft_cloud_tutorial_info",
        "draft_cloud_videocut_purchase_info", "draft_type", "draft_web_article_video_enter_from",
        "draft_new_version", "tm_draft_cloud_completed"}},
      {"0", {"draft_timeline_materials_size", "tm_draft_cloud_modified", "tm_draft_removed"}},
      {"-1",
       {"tm_draft_cloud_entry_id", "tm_draft_cloud_parent_entry_id", "tm_draft_cloud_space_id",
        "tm_draft_cloud_user_id"}},
  };
  size_t counted = 16;
  for (const auto& [value, names] : capcut_members) {
    for (const char* name : names) {
      EXPECT_EQ(json_line_text(entry.value(name, Json("absent"))), value) << name;
      ++counted;
    }
  }
  EXPECT_EQ(entry.size(), counted);
  EXPECT_EQ(entry["id"], ID);
  EXPECT_EQ(entry["draft_id"], ID);
  EXPECT_EQ(entry["name"], NAME);
  EXPECT_EQ(entry["draft_name"], NAME);
  EXPECT_EQ(entry["path"], path_to_utf8(project()));
  EXPECT_EQ(entry["draft_fold_path"], path_to_utf8(project()));
  EXPECT_EQ(entry["duration"], 6750000);
  EXPECT_EQ(entry["draft_json_file"], path_to_utf8(project() / "draft_info.json"));
  EXPECT_EQ(entry["draft_root_path"], path_to_utf8(registry().parent_path()));
  EXPECT_EQ(entry["draft_cover"], path_to_utf8(project() / "draft_cover.jpg"));
  EXPECT_EQ(entry["tm_duration"], 6750000);
  EXPECT_EQ(entry["draft_is_invisible"], false);
  // Microseconds, as CapCut counts, where no entry shows another unit.
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
    EXPECT_EQ(update(), RegistryUpdate::unreadable);
    EXPECT_EQ(read_text_file(registry()), content);
    EXPECT_EQ(files_in(registry().parent_path()), 1);  // neither a backup nor a temporary file
  }
  // A list of our own that something else has taken over is not touched either.
  const std::string taken = "{\n  \"tavelmor_projects\": \"x\", \"a\": 1}";
  write_text_file(registry(), taken);
  EXPECT_EQ(update(), RegistryUpdate::no_list);
  EXPECT_EQ(read_text_file(registry()), taken);
}

TEST_F(CapcutRegistry, NewEntryCarriesTheMembersOfTheLatestEntryWithoutItsValues) {
  // CapCut's entry for "Neu" is the one modified last, although "Mittel" comes after it.
  const Json store = register_into(R"({"all_draft_store": [
    {"draft_id": "OLD-1", "draft_name": "Alt", "tm_draft_modified": 1700000000000},
    {"draft_cloud_template_id": "7301", "draft_cover": "C:/x/Neu/draft_cover.jpg",
     "draft_fold_path": "C:/x/Neu", "draft_id": "NEW-2", "draft_is_ai_shorts": true,
     "draft_is_invisible": true, "draft_json_file": "C:/x/Neu/draft_info.json",
     "draft_name": "Neu", "draft_root_path": "C:/x", "draft_segment_extra_info": ["s"],
     "draft_timeline_materials_size_": 4096, "draft_enterprise_info": {"id": "E"},
     "draft_web_article_video_enter_from": "C:/x/Neu/a.mp4", "streaming_edit_draft_ready": null,
     "tm_draft_cloud_modified": 1730000000000000, "tm_draft_create": 1730000000000000,
     "tm_draft_modified": 1731000000000000, "tm_draft_removed": 0, "tm_duration": 9000000,
     "volume": 0.5},
    {"draft_id": "MID-3", "draft_name": "Mittel", "tm_draft_modified": 1729000000000000}
  ]})");
  ASSERT_EQ(store["all_draft_store"].size(), 4u);
  const Json& latest = store["all_draft_store"][1];
  const Json& entry = store["all_draft_store"][3];
  for (auto member = latest.begin(); member != latest.end(); ++member)
    EXPECT_TRUE(entry.contains(member.key())) << member.key();
  // Members of our own keep our values, in front.
  EXPECT_EQ(keys_of(entry)[0], "id");
  EXPECT_EQ(entry["draft_fold_path"], path_to_utf8(project()));
  EXPECT_EQ(entry["draft_json_file"], path_to_utf8(project() / "draft_info.json"));
  EXPECT_EQ(entry["draft_cover"], path_to_utf8(project() / "draft_cover.jpg"));
  EXPECT_EQ(entry["draft_is_invisible"], false);
  EXPECT_EQ(entry["tm_duration"], 6750000);
  // The others an empty value of the same kind.
  EXPECT_EQ(json_line_text(entry["draft_cloud_template_id"]), R"("")");
  EXPECT_EQ(json_line_text(entry["draft_is_ai_shorts"]), "false");
  EXPECT_EQ(json_line_text(entry["draft_segment_extra_info"]), "[]");
  EXPECT_EQ(json_line_text(entry["draft_timeline_materials_size_"]), "0");
  EXPECT_EQ(json_line_text(entry["draft_enterprise_info"]), "{}");
  EXPECT_EQ(json_line_text(entry["streaming_edit_draft_ready"]), "null");
  EXPECT_EQ(json_line_text(entry["tm_draft_cloud_modified"]), "0");
  EXPECT_EQ(json_line_text(entry["volume"]), "0.0");
  // Nothing of another project: none of the other entries' texts.
  for (size_t i = 0; i < 3; ++i) {
    for (const Json& theirs : store["all_draft_store"][i]) {
      for (const Json& ours : entry) {
        if (theirs.is_string() && !theirs.get<std::string>().empty()) {
          EXPECT_NE(ours, theirs);
        }
      }
    }
  }
  // The times in the latest entry's unit, microseconds.
  EXPECT_GE(entry["tm_draft_create"].get<long long>(), 1000000000000000LL);
  EXPECT_EQ(entry["create_time"], entry["tm_draft_create"]);

  // A registry in milliseconds gets its new times in milliseconds, also the members its entry
  // lacks.
  const Json in_ms =
      register_into(R"({"all_draft_store": [{"tm_draft_modified": 1700000000000}]})");
  const Json& ms_entry = in_ms["all_draft_store"][1];
  for (const char* member : {"create_time", "update_time", "tm_draft_create", "tm_draft_modified"})
    EXPECT_LT(ms_entry[member].get<long long>(), 1000000000000000LL) << member;
  EXPECT_GT(ms_entry["tm_draft_modified"].get<long long>(), 1700000000000LL);
}

// A registry set up by the user stays what it is: a link stays a link, private stays private,
// write-protected stays untouched.
// CapCut's cloud ids reach 19 digits, beyond what a double holds exactly.
TEST_F(CapcutRegistry, IntegersBeyondTwoToTheFiftyThreePassThroughExactly) {
  const char* const ids[] = {"9007199254740993", "7412583690123456789", "-7412583690123456789",
                             "18446744073709551615"};
  std::string entry = R"({"draft_name": "Wolke", "tm_draft_modified": 1731000000000000)";
  for (size_t i = 0; i < std::size(ids); ++i)
    entry += ", \"id_" + std::to_string(i) + "\": " + ids[i];
  const Json store = register_into(R"({"all_draft_store": [)" + entry + R"(, "after": 0}]})");
  const std::string text = read_text_file(registry());
  for (const char* id : ids)
    EXPECT_NE(text.find(std::string(": ") + id + ",\n"), std::string::npos) << id;
  // The new entry takes their kind, not their value.
  EXPECT_EQ(json_line_text(store["all_draft_store"][1]["id_1"]), "0");
}

TEST_F(CapcutRegistry, LinkedAndPrivateRegistryStaySo) {
#ifdef _WIN32
  GTEST_SKIP() << "links and POSIX permission bits";
#endif
  const std::string content = R"({"all_draft_store": []})";
  const fs::path target = dir_ / "Sync" / "root_meta_info.json";
  write_text_file(target, content);
  fs::create_directories(registry().parent_path());
  fs::create_symlink("../../Sync/root_meta_info.json", registry());
  ASSERT_EQ(update(), RegistryUpdate::added);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(registry())));
  EXPECT_EQ(fs::read_symlink(registry()), fs::path("../../Sync/root_meta_info.json"));
  EXPECT_EQ(parse_json(read_text_file(target))["all_draft_store"][0]["draft_name"], NAME);
  EXPECT_EQ(read_text_file(capcut_registry_backup_path(registry())), content);
  EXPECT_EQ(files_in(target.parent_path()), 1);  // no temporary file beside the target

  const fs::perms private_bits = fs::perms::owner_read | fs::perms::owner_write;
  fs::remove(registry());
  write_text_file(registry(), content);
  fs::permissions(registry(), private_bits);
  ASSERT_EQ(update(), RegistryUpdate::added);
  EXPECT_EQ(fs::status(registry()).permissions(), private_bits);
  EXPECT_EQ(fs::status(capcut_registry_backup_path(registry())).permissions(), private_bits);
}

TEST_F(CapcutRegistry, WriteProtectedRegistryIsLeftAlone) {
  const std::string content = R"({"all_draft_store": []})";
  write_text_file(registry(), content);
  const fs::perms write_bits =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(registry(), write_bits, fs::perm_options::remove);
  EXPECT_EQ(update(), RegistryUpdate::read_only);
  EXPECT_EQ(read_text_file(registry()), content);
  EXPECT_EQ(fs::status(registry()).permissions() & write_bits, fs::perms::none);
  EXPECT_EQ(files_in(registry().parent_path()), 1);  // neither a backup nor a temporary file
  fs::permissions(registry(), fs::perms::owner_write, fs::perm_options::add);  // for the clean-up
}

TEST_F(CapcutRegistry, FailuresLeaveTheRegistryAsItWas) {
  write_text_file(registry(), "42");
  try {
    update();
    FAIL() << "no error";
  } catch (const std::runtime_error& failure) {
    EXPECT_EQ(failure.what(),
              "CapCuts Projektliste hat ein unbekanntes Format: " + path_to_utf8(registry()));
  }
  EXPECT_EQ(read_text_file(registry()), "42");

  // A registry folder that cannot be made: a file stands where it would be.
  write_text_file(dir_ / "blocked", "");
  EXPECT_THROW(update_capcut_root_meta(dir_ / "blocked" / "root_meta_info.json", entry()),
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
    EXPECT_EQ(entry["width"], 64);  // the clip's own picture, not the frame
    EXPECT_EQ(entry["height"], 64);
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
