#include <gtest/gtest.h>

#include "backend_process.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

// The real binary with a scratch home folder that has a Desktop for the error log.
class Protocol : public ::testing::Test {
 protected:
  Protocol() {
    fs::create_directories(home / "Desktop");
    error_log = home / "Desktop" / "TavelmorStudio_ERROR.txt";
  }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    const auto ready = backend->read_line();
    ASSERT_TRUE(ready.has_value());
    ASSERT_EQ(*ready, R"({"event": "ready", "version": "1.0"})");
  }

  std::string next() {
    const auto line = backend->read_line();
    return line.value_or("<no line>");
  }

  ScopedTempDir home;
  fs::path error_log;
  std::unique_ptr<BackendProcess> backend;
};

}  // namespace

TEST_F(Protocol, ReadyIsTheOnlyLineBeforeAnyInput) {
  start();
  EXPECT_TRUE(backend->no_more_lines());
  EXPECT_EQ(backend->close_and_wait(), 0);
}

TEST_F(Protocol, GetStateAnswersWithExactlyOneStateLine) {
  start();
  backend->send_line(R"({"cmd": "get_state"})");
  const std::string desktop = path_to_utf8(home.path() / "Desktop");
  EXPECT_EQ(next(), R"({"event": "state", "version": "1.0", "cfg": {"output_folder": ")" + desktop +
                        R"(", "silence_threshold": "-35dB", "silence_duration": 0.5, )"
                        R"("suffix": "_cut", "trim_silence": true, "trim_padding": 3.0, )"
                        R"("resolution": "Hochformat 1080x1920", "add_padding": 0.0}, )"
                        R"("cut_queue": [], "mas_files": [], "busy": false})");
  EXPECT_TRUE(backend->no_more_lines());
}

TEST_F(Protocol, UnknownCommandsGiveAnErrorButNoErrorLog) {
  start();
  backend->send_line(R"({"cmd": "Get_State"})");
  EXPECT_EQ(next(), R"({"event": "error", "message": "Unbekannter Befehl: Get_State"})");
  backend->send_line(R"({"payload": {"idx": 1}})");
  EXPECT_EQ(next(), R"({"event": "error", "message": "Unbekannter Befehl: None"})");
  backend->send_line(R"({"cmd": null})");
  EXPECT_EQ(next(), R"({"event": "error", "message": "Unbekannter Befehl: None"})");
  backend->send_line(R"({"cmd": 7})");
  EXPECT_EQ(next(), R"({"event": "error", "message": "Unbekannter Befehl: 7"})");
  EXPECT_FALSE(fs::exists(error_log));
}

TEST_F(Protocol, BrokenLinesEachGiveOneErrorAndARewrittenErrorLog) {
  start();
  const std::string broken[] = {"",
                                "   ",
                                "not json",
                                "[1, 2]",
                                "\"text\"",
                                "{\"cmd\": \"get_state\"",
                                "{\"cmd\": \"get_\xff\"}"};
  for (const std::string& line : broken) {
    std::error_code ignored;
    fs::remove(error_log, ignored);
    backend->send_line(line);
    const std::string answer = next();
    EXPECT_EQ(event_name(answer), "error") << line;
    EXPECT_TRUE(fs::exists(error_log)) << line;
  }
  backend->send_line(R"({"cmd": "get_state"})");
  EXPECT_EQ(event_name(next()), "state");
  EXPECT_TRUE(backend->no_more_lines());
}

TEST_F(Protocol, AFailingCommandReportsItsMessageAndTheLoopGoesOn) {
  start();
  backend->send_line(R"({"cmd": "remove_master_index"})");
  const Json error = Json::parse(next());
  EXPECT_EQ(error["event"], "error");
  EXPECT_FALSE(error["message"].get<std::string>().empty());
  const std::string report = read_text_file(error_log);
  EXPECT_NE(report.find(error["message"].get<std::string>()), std::string::npos);
  backend->send_line(R"({"cmd": "copy_support_log"})");
  EXPECT_EQ(next(), R"({"event": "support_log", "text": "Kein Log vorhanden."})");
}

TEST_F(Protocol, NumbersAndNonAsciiTextKeepTheirForm) {
  start();
  backend->send_line(
      R"({"cmd": "set_config", "payload": {"suffix": "_fertig ä–✓", "trim_padding": 3.0,)"
      R"( "silence_duration": 2, "add_padding": 5e-05, "output_folder": "C:\\Videos\\\"x\"\n"}})");
  const std::string line = next();
  EXPECT_NE(line.find(R"("suffix": "_fertig ä–✓")"), std::string::npos) << line;
  EXPECT_NE(line.find(R"("trim_padding": 3.0, )"), std::string::npos) << line;
  EXPECT_NE(line.find(R"("silence_duration": 2, )"), std::string::npos) << line;
  EXPECT_NE(line.find(R"("add_padding": 5e-05})"), std::string::npos) << line;
  EXPECT_NE(line.find(R"("output_folder": "C:\\Videos\\\"x\"\n")"), std::string::npos) << line;
  EXPECT_EQ(line.find("\\u"), std::string::npos) << line;
}

TEST_F(Protocol, ExtraSettingsKeysAreKeptAndSavedAgain) {
  write_text_file(home / ".pindrale_config.json",
                  R"({"foo": {"bar": [1]}, "suffix": "_x", "resolution": "Querformat 1920x1080"})");
  start();
  backend->send_line(R"({"cmd": "set_config", "payload": {"foo": "neu", "trim_silence": false}})");
  const Json state = Json::parse(next());
  std::vector<std::string> keys;
  for (auto it = state["cfg"].begin(); it != state["cfg"].end(); ++it)
    keys.push_back(it.key());
  EXPECT_EQ(keys.back(), "foo");
  EXPECT_EQ(keys.size(), 9u);
  EXPECT_EQ(state["cfg"]["resolution"], "Hochformat 1080x1920");
  EXPECT_EQ(state["cfg"]["suffix"], "_x");
  const std::string saved = read_text_file(home / ".pindrale_config.json");
  EXPECT_NE(saved.find("  \"trim_silence\": false,\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("  \"foo\": \"neu\"\n}"), std::string::npos) << saved;
}

TEST_F(Protocol, QueueCommandsOverTheWire) {
  const fs::path clip = home / "Übung 1.MP4";
  write_text_file(clip, "x");
  start();
  const std::string clip_text = path_to_utf8(clip);
  backend->send("add_cut_files", {{"paths", {clip_text, clip_text, home.text()}}});
  EXPECT_EQ(
      next(),
      R"({"event": "log", "panel": "cut", "msg": "1 Datei(en) hinzugefügt", "level": "info"})");
  EXPECT_NE(next().find("\"cut_queue\": [\"" + clip_text + "\"]"), std::string::npos);
  backend->send("add_master_files", {{"paths", {clip_text}}});
  next();
  next();
  backend->send("move_master", {{"idx", 0}, {"direction", 0}});
  EXPECT_EQ(next(), R"({"event": "selected_master", "idx": 0})");
  EXPECT_EQ(event_name(next()), "state");
  backend->send("copy_support_log");
  EXPECT_EQ(Json::parse(next())["text"],
            "[cut] 1 Datei(en) hinzugefügt\n[master] 1 Clip(s) hinzugefügt");
}

TEST_F(Protocol, EndOfInputEndsTheProcessWithStatusZero) {
  start();
  backend->send_line(R"({"cmd": "get_state"})");
  next();
  EXPECT_EQ(backend->close_and_wait(), 0);
}
