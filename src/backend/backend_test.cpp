#include "backend/backend.h"

#include <gtest/gtest.h>

#include <sstream>

#include "settings/config.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

// A Backend whose home folder is a scratch folder and whose events are collected in memory.
class BackendTest : public ::testing::Test {
 protected:
  BackendTest() : paths(fixed_paths_for_home(home.path())), backend(out, paths) {}

  // The event lines written since the last call.
  std::vector<Json> events() {
    std::vector<Json> lines;
    std::string line;
    std::istringstream in(out.str());
    while (std::getline(in, line))
      lines.push_back(Json::parse(line));
    out.str("");
    return lines;
  }

  std::vector<std::string> event_names() {
    std::vector<std::string> names;
    for (const Json& event : events())
      names.push_back(event["event"]);
    return names;
  }

  std::string media_file(const std::string& name) {
    const fs::path path = home / name;
    write_text_file(path, "x");
    return path_to_utf8(path);
  }

  ScopedTempDir home;
  FixedPaths paths;
  std::ostringstream out;
  Backend backend;
};

}  // namespace

TEST_F(BackendTest, ProgressIsClampedAndTruncated) {
  backend.progress("cut", 150, "a");
  backend.progress("cut", -5, "b");
  backend.progress("master", 55.9, "c");
  const auto lines = events();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(json_line_text(lines[0]),
            R"({"event": "progress", "panel": "cut", "pct": 100, "status": "a"})");
  EXPECT_EQ(lines[1]["pct"], 0);
  EXPECT_EQ(lines[2]["pct"], 55);
  EXPECT_TRUE(lines[2]["pct"].is_number_integer());
}

TEST_F(BackendTest, AddFilesAcceptsExistingMediaFilesOnceEach) {
  const std::string upper = media_file("A.MP4");
  const std::string wav = media_file("b.wav");
  const std::string text = media_file("notes.txt");
  fs::create_directories(home / "folder.mp4");
  backend.add_cut_files({{"paths",
                          {upper, wav, upper, text, (home / "folder.mp4").string(),
                           (home / "missing.mp4").string()}}});
  auto lines = events();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      json_line_text(lines[0]),
      R"({"event": "log", "panel": "cut", "msg": "2 Datei(en) hinzugefügt", "level": "info"})");
  EXPECT_EQ(lines[1]["event"], "state");
  EXPECT_EQ(lines[1]["cut_queue"], Json::array({upper, wav}));

  // Again in a later command: nothing new, so only the state event.
  backend.add_cut_files({{"paths", {upper}}});
  EXPECT_EQ(event_names(), std::vector<std::string>{"state"});

  backend.add_master_files({{"paths", {wav}}});
  lines = events();
  EXPECT_EQ(lines[0]["msg"], "1 Clip(s) hinzugefügt");
  EXPECT_EQ(lines[0]["panel"], "master");
  EXPECT_EQ(lines[1]["mas_files"], Json::array({wav}));
}

TEST_F(BackendTest, AddFilesWithoutUsablePathsStillSendsState) {
  backend.add_cut_files(Json());
  backend.add_cut_files(Json::array({1, 2}));
  backend.add_cut_files({{"other", 1}});
  EXPECT_EQ(event_names(), (std::vector<std::string>{"state", "state", "state"}));
  for (const Json& bad : {Json(nullptr), Json(3), Json(true)}) {
    EXPECT_THROW(backend.add_master_files({{"paths", bad}}), std::runtime_error);
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(BackendTest, RemoveMasterIndexTakesIntegersAndWholeNumberTexts) {
  const std::string a = media_file("a.mp4"), b = media_file("b.mp4"), c = media_file("c.mp4");
  backend.add_master_files({{"paths", {a, b, c}}});
  events();
  backend.remove_master_index({{"idx", -1}});
  backend.remove_master_index({{"idx", 3}});
  backend.remove_master_index(Json::object());
  EXPECT_EQ(backend.mas_files().size(), 3u);
  backend.remove_master_index({{"idx", "1"}});
  EXPECT_EQ(backend.mas_files(), (std::vector<std::string>{a, c}));
  backend.remove_master_index({{"idx", 1.9}});
  EXPECT_EQ(backend.mas_files(), (std::vector<std::string>{a}));
  EXPECT_EQ(event_names(), std::vector<std::string>(5, "state"));

  for (const Json& bad : {Json(), Json("x"), Json({{"idx", nullptr}}), Json({{"idx", "1.5"}}),
                          Json({{"idx", Json::array()}})}) {
    EXPECT_THROW(backend.remove_master_index(bad), std::runtime_error) << bad.dump();
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(BackendTest, MoveMasterExchangesTwoEntries) {
  const std::string a = media_file("a.mp4"), b = media_file("b.mp4"), c = media_file("c.mp4");
  backend.add_master_files({{"paths", {a, b, c}}});
  events();

  backend.move_master({{"idx", 0}, {"direction", 1}});
  EXPECT_EQ(backend.mas_files(), (std::vector<std::string>{b, a, c}));
  auto lines = events();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(json_line_text(lines[0]), R"({"event": "selected_master", "idx": 1})");

  backend.move_master({{"idx", 0}, {"direction", 2}});  // exchange, not shift
  EXPECT_EQ(backend.mas_files(), (std::vector<std::string>{c, a, b}));
  EXPECT_EQ(events()[0]["idx"], 2);

  backend.move_master({{"idx", 0}, {"direction", -1}});
  EXPECT_EQ(event_names(), std::vector<std::string>{"state"});

  backend.move_master({{"idx", 1}});  // direction 0: itself, still selected
  EXPECT_EQ(event_names(), (std::vector<std::string>{"selected_master", "state"}));
  EXPECT_EQ(backend.mas_files(), (std::vector<std::string>{c, a, b}));

  EXPECT_THROW(backend.move_master(Json()), std::runtime_error);
  EXPECT_THROW(backend.move_master({{"idx", 0}, {"direction", "up"}}), std::runtime_error);
}

TEST_F(BackendTest, SetConfigReplacesKnownKeysAndAlwaysSaves) {
  backend.set_config({{"suffix", "_neu"}, {"unknown", 1}, {"trim_padding", nullptr}});
  EXPECT_EQ(backend.cfg()["suffix"], "_neu");
  EXPECT_FALSE(backend.cfg().contains("unknown"));
  EXPECT_EQ(backend.cfg()["trim_padding"], 3.0);
  EXPECT_EQ(load_cfg(paths)["suffix"], "_neu");

  fs::remove(paths.cfg_file);
  for (const Json& empty : {Json(), Json(false), Json(0), Json(""), Json::array()}) {
    backend.set_config(empty);
  }
  EXPECT_TRUE(fs::exists(paths.cfg_file));
  EXPECT_EQ(event_names(), std::vector<std::string>(6, "state"));
  EXPECT_THROW(backend.set_config(Json("x")), std::runtime_error);
  EXPECT_THROW(backend.set_config(Json::array({1})), std::runtime_error);
  EXPECT_TRUE(events().empty());
}

// The jump cut and loudness keys are added after the eight and any others when first set, and
// null takes one back to its default by removing it; the default settings never hold them.
TEST_F(BackendTest, SetConfigAddsTheOptionalKeysAndNullRemovesThem) {
  write_text_file(paths.cfg_file, R"({"foo": 1})");
  Backend loaded(out, paths);
  const auto keys_of = [](const Json& cfg) {
    std::string keys;
    for (auto it = cfg.begin(); it != cfg.end(); ++it)
      keys += (keys.empty() ? "" : " ") + it.key();
    return keys;
  };
  const std::string eight =
      "output_folder silence_threshold silence_duration suffix trim_silence trim_padding "
      "resolution add_padding";
  EXPECT_EQ(keys_of(backend.cfg()), eight);

  loaded.set_config({{"loudness_target", -14.0}, {"cut_pauses", false}, {"pause_min", 0}});
  EXPECT_EQ(keys_of(loaded.cfg()), eight + " foo loudness_target cut_pauses pause_min");
  EXPECT_EQ(loaded.cfg()["cut_pauses"], false);
  loaded.set_config({{"loudness_target", nullptr}, {"pause_keep", nullptr}});
  EXPECT_EQ(keys_of(load_cfg(paths)), eight + " foo cut_pauses pause_min");
  loaded.set_config({{"loudness_target", -16.0}});
  EXPECT_EQ(load_cfg(paths)["loudness_target"], -16.0);
}

TEST_F(BackendTest, SupportLogCollectsEveryLogLine) {
  backend.copy_support_log(Json());
  EXPECT_EQ(json_line_text(events()[0]),
            R"({"event": "support_log", "text": "Kein Log vorhanden."})");
  backend.add_cut_files({{"paths", {media_file("a.mp4"), media_file("b.mp4")}}});
  backend.add_master_files({{"paths", {media_file("c.mov")}}});
  events();
  backend.copy_support_log(Json());
  EXPECT_EQ(events()[0]["text"], "[cut] 2 Datei(en) hinzugefügt\n[master] 1 Clip(s) hinzugefügt");
}

TEST_F(BackendTest, ClearCutQueueLeavesTheMasterListAlone) {
  const std::string a = media_file("a.mp4");
  backend.add_cut_files({{"paths", {a}}});
  backend.add_master_files({{"paths", {a}}});
  events();
  backend.clear_cut_queue(Json());
  const Json state = events().back();
  EXPECT_EQ(state["cut_queue"], Json::array());
  EXPECT_EQ(state["mas_files"], Json::array({a}));
  EXPECT_EQ(state["busy"], false);
  backend.clear_master_queue(Json());
  EXPECT_EQ(events().back()["mas_files"], Json::array());
}
