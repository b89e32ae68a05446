#include <gtest/gtest.h>

#include <chrono>

#include "backend_process.h"
#include "capcut/test_clips.h"
#include "media/ffmpeg_tools.h"
#include "settings/path_text.h"
#include "settings/utf8.h"
#include "support/test_util.h"

// Command lines and files that a hostile or unlucky frontend or user could hand the backend: each
// is a bad line (one `error` event) or does what it says, and the backend lives on.

namespace {

std::string nested(size_t depth, const std::string& inner = "") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

class HostileInput : public ::testing::Test {
 protected:
  HostileInput() { fs::create_directories(home / "Desktop"); }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    ASSERT_EQ(event_name(backend->read_line().value_or("{}")), "ready");
  }

  Json next() {
    const auto line = backend->read_line();
    return line ? parse_json(*line) : Json{{"event", "<no line>"}};
  }

  // Sends `line` and then a command that is none; returns the names of the events that came
  // before the error for that one.
  std::vector<std::string> answer_to(const std::string& line) {
    backend->send_line(line);
    backend->send("ende");
    std::vector<std::string> names;
    while (true) {
      const Json event = next();
      if (event == Json{{"event", "error"}, {"message", "Unbekannter Befehl: ende"}} ||
          event["event"] == "<no line>")
        return names;
      names.push_back(event["event"]);
    }
  }

  Json state() {
    backend->send("get_state");
    return parse_json(backend->read_until("state").back());
  }

  ScopedTempDir home{"tavelmor_hostile_"};
  fs::path cfg_file = home / ".pindrale_config.json";
  fs::path error_log = home / "Desktop" / "TavelmorStudio_ERROR.txt";
  std::unique_ptr<BackendProcess> backend;
};

const std::vector<std::string> ONE_ERROR = {"error"};

}  // namespace

TEST_F(HostileInput, DeeplyNestedLinesAreBadLinesAndChangeNothing) {
  start();
  const std::string deep = nested(41000);  // 82 KB
  const std::vector<std::string> lines = {
      deep,
      R"({"cmd": )" + deep + "}",
      R"({"cmd": "get_state", "payload": {"x": )" + deep + "}}",
      R"({"cmd": "set_config", "payload": {"suffix": )" + deep + "}}",
      // 20 KB, once a settings file of 200 MB.
      R"({"cmd": "set_config", "payload": {"suffix": )" + nested(10000) + "}}",
  };
  for (const std::string& line : lines)
    EXPECT_EQ(answer_to(line), ONE_ERROR) << line.substr(0, 60);
  EXPECT_EQ(state()["cfg"]["suffix"], "_cut");
  EXPECT_FALSE(fs::exists(cfg_file));
}

TEST_F(HostileInput, TheDeepestValueALineMayHoldSurvivesARestart) {
  start();
  // The line nests as deep as any may: its object, the payload, then the value.
  const std::string deepest = nested(MAX_JSON_DEPTH - 2, "\"ä\"");
  EXPECT_EQ(answer_to(R"({"cmd": "set_config", "payload": {"suffix": )" + deepest + "}}"),
            std::vector<std::string>{"state"});
  EXPECT_LT(fs::file_size(cfg_file), 1u << 20);
  EXPECT_EQ(backend->close_and_wait(), 0);
  start();
  EXPECT_EQ(state()["cfg"]["suffix"], parse_json(deepest));
}

TEST_F(HostileInput, ATooDeepSettingsFileCountsAsUnreadable) {
  write_text_file(cfg_file, R"({"suffix": "_alt", "foo": )" + nested(41000) + "}");
  start();
  const Json cfg = state()["cfg"];
  EXPECT_EQ(cfg["suffix"], "_cut");
  EXPECT_FALSE(cfg.contains("foo"));
  backend->send("set_config", {{"suffix", "_neu"}});
  backend->read_until("state");
  EXPECT_EQ(parse_json(read_text_file(cfg_file))["suffix"], "_neu");
}

TEST_F(HostileInput, NulCharactersNeitherShortenALineNorAPath) {
  const fs::path clip = home / "clip.mp4";
  write_text_file(clip, "x");
  start();
  EXPECT_EQ(answer_to(std::string("{\"cmd\": \"get_state\"}\0{\"garbage\"", 30)), ONE_ERROR);
  EXPECT_EQ(answer_to(std::string("{\"cmd\": \"clear_cut_queue\"\0}", 28)), ONE_ERROR);
  // The file test would see only the part before the NUL, which names the clip.
  const Json paths = {path_to_utf8(clip) + std::string("\0.mp4", 5),
                      path_to_utf8(clip) + std::string("\0", 1)};
  EXPECT_EQ(answer_to(Json{{"cmd", "add_master_files"}, {"payload", {{"paths", paths}}}}.dump()),
            std::vector<std::string>{"state"});
  EXPECT_EQ(state()["mas_files"], Json::array());
}

TEST_F(HostileInput, IndicesBeyondAnyIntegerChangeNothing) {
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
    write_text_file(home / name, "x");
  start();
  backend->send("add_master_files", {{"paths",
                                      {path_to_utf8(home / "a.mp4"), path_to_utf8(home / "b.mp4"),
                                       path_to_utf8(home / "c.mp4")}}});
  backend->read_until("state");
  const Json listed = state()["mas_files"];
  const std::vector<std::string> untouched = {
      R"({"cmd": "move_master", "payload": {"idx": 0, "direction": 18446744073709551615}})",
      R"({"cmd": "move_master", "payload": {"idx": 1, "direction": 18446744073709551615}})",
      R"({"cmd": "move_master", "payload": {"idx": 9223372036854775807, "direction": 1}})",
      R"({"cmd": "move_master", "payload": {"idx": 2, "direction": -9223372036854775808}})",
      R"({"cmd": "move_master", "payload": {"idx": 1, "direction": 1e300}})",
      R"({"cmd": "move_master", "payload": {"idx": 1, "direction": "-99999999999999999999"}})",
      R"({"cmd": "remove_master_index", "payload": {"idx": 18446744073709551617}})",
      R"({"cmd": "remove_master_index", "payload": {"idx": "18446744073709551616"}})",
  };
  for (const std::string& line : untouched) {
    EXPECT_EQ(answer_to(line), std::vector<std::string>{"state"}) << line;
    EXPECT_EQ(state()["mas_files"], listed) << line;
  }
  EXPECT_EQ(answer_to(R"({"cmd": "move_master", "payload": {"idx": 2, "direction": -2}})"),
            (std::vector<std::string>{"selected_master", "state"}));
}

TEST_F(HostileInput, TheErrorLogGetsTheSameReplacementAsTheErrorEvent) {
  start();
  backend->send_line("{\"cmd\": \"get_\xff\xfe\"}");
  const Json error = next();
  ASSERT_EQ(error["event"], "error");
  const std::string report = read_text_file(error_log);
  EXPECT_TRUE(is_valid_utf8(report));
  EXPECT_NE(report.find("\xEF\xBF\xBD"), std::string::npos) << report;
  EXPECT_NE(report.find(error["message"].get<std::string>()), std::string::npos) << report;
}

TEST_F(HostileInput, AHundredThousandPathsInOneCommandTakeUnderASecond) {
  const fs::path clip = home / "clip.mp4";
  write_text_file(clip, "x");
  start();
  // Texts that differ but all name the clip: "/" and "./" spell out the number in binary.
  Json paths = Json::array();
  const auto text_of = [&](int number) {
    std::string text = home.text() + "/";
    for (int bit = 0; bit < 17; ++bit)
      text += (number >> bit) & 1 ? "./" : "/";
    return text + "clip.mp4";
  };
  for (int i = 0; i < 100000; ++i)
    paths.push_back(text_of(i));
  paths.push_back(text_of(7));  // the same text again
  const std::string line =
      Json{{"cmd", "add_master_files"}, {"payload", {{"paths", paths}}}}.dump();

  // Sent twice, the second time with every path listed already; the faster of the two counts,
  // since other work on the machine may slow either.
  std::vector<std::vector<std::string>> answers;
  auto fastest = std::chrono::steady_clock::duration::max();
  for (int round = 0; round < 2; ++round) {
    const auto started = std::chrono::steady_clock::now();
    backend->send_line(line);
    answers.push_back(backend->read_until("state"));
    fastest = std::min(fastest, std::chrono::steady_clock::now() - started);
  }
  EXPECT_LT(fastest, std::chrono::seconds(1));
  ASSERT_EQ(answers[0].size(), 2u);
  EXPECT_EQ(parse_json(answers[0][0])["msg"], "100000 Clip(s) hinzugefügt");
  ASSERT_EQ(answers[1].size(), 1u) << "nothing more to add";
  const Json listed = parse_json(answers[1][0])["mas_files"];
  ASSERT_EQ(listed.size(), 100000u);
  EXPECT_EQ(listed[0], text_of(0));
  EXPECT_EQ(listed[99999], text_of(99999));
}

namespace {

// The same with the real FFmpeg.
class HostileInputMedia : public HostileInput {
 protected:
  // Events up to the first `notify`, which ends a job.
  std::vector<Json> job(const std::string& cmd, const Json& payload) {
    backend->send(cmd, payload);
    std::vector<Json> events;
    for (const std::string& line : backend->read_until("notify", std::chrono::seconds(120)))
      events.push_back(parse_json(line));
    return events;
  }

  static std::vector<std::string> error_logs(const std::vector<Json>& events) {
    std::vector<std::string> errors;
    for (const Json& event : events) {
      if (event["event"] == "log" && event["level"] == "error")
        errors.push_back(event["msg"]);
    }
    return errors;
  }
};

// The backend starts in `folder`, so relative paths are taken against it.
class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const fs::path& folder) : old_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~ScopedWorkingFolder() { fs::current_path(old_); }
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

 private:
  fs::path old_;
};

}  // namespace

TEST_F(HostileInputMedia, RelativePathsThatLookLikeOptionsOrProtocolsNameTheirFiles) {
  // FFmpeg would read "-a:b.wav" as an option, and "a:b.wav" as the protocol "a".
  make_recording(home / "-a:b.wav", {0.6, 0.4, 1.2}, true, 0, 0);
  make_recording(home / "-v:clip.mp4", {0.5}, true, 160, 120);
  {
    ScopedWorkingFolder working(home.path());
    start();
  }
  backend->send("add_cut_files", {{"paths", {"-a:b.wav"}}});
  backend->read_until("state");
  const std::vector<Json> cut = job("start_cut", {{"output_folder", "-out"}});
  EXPECT_EQ(error_logs(cut), std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(home / "-out" / "-a:b_cut.wav"));

  backend->send("clear_master_queue");
  backend->read_until("state");
  backend->send("add_master_files", {{"paths", {"-v:clip.mp4"}}});
  backend->read_until("state");
  const std::vector<Json> master = job("start_export", {{"mode", "mp4"}});
  EXPECT_EQ(master.back()["title"], "MP4 fertig") << master.back();
  EXPECT_GT(get_duration(path_to_utf8(home / "-out" / "master_video.mp4")), 0.4);
}

TEST_F(HostileInputMedia, AVideoFileWithoutPictureIsNamedAndRefused) {
  make_recording(home / "stimme.mp4", {1.5}, true, 0, 0);
  start();
  backend->send("add_cut_files", {{"paths", {path_to_utf8(home / "stimme.mp4")}}});
  backend->read_until("state");
  const std::vector<Json> cut = job("start_cut", {{"output_folder", path_to_utf8(home / "out")}});
  EXPECT_EQ(error_logs(cut),
            std::vector<std::string>{"Fehler: Kein Bild: stimme.mp4 enthält keine Videospur"});

  backend->send("add_master_files", {{"paths", {path_to_utf8(home / "stimme.mp4")}}});
  backend->read_until("state");
  const std::vector<Json> master = job("start_export", {{"mode", "mp4"}});
  EXPECT_EQ(master.back()["message"],
            "Fehler bei stimme.mp4: kein Bild, die Datei enthält keine Videospur");
}

TEST_F(HostileInputMedia, ATooDeepCapcutRegistryIsLeftAsItWas) {
  const fs::path projects =
      home / "AppData" / "Local" / "CapCut" / "User Data" / "Projects" / "com.lveditor.draft";
  const std::string registry = R"({"all_draft_store": )" + nested(41000) + "}";
  write_text_file(projects / "root_meta_info.json", registry);
  make_video_clip(home / "a.mp4", 40);
  start();
  backend->send("add_master_files", {{"paths", {path_to_utf8(home / "a.mp4")}}});
  backend->read_until("state");
  const std::vector<Json> events = job("start_export", {{"mode", "capcut"}});
  EXPECT_EQ(events.back()["title"], "CapCut Projekt fertig") << events.back();
  EXPECT_EQ(read_text_file(projects / "root_meta_info.json"), registry);
  EXPECT_EQ(state()["busy"], false);
}
