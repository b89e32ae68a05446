#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "backend_process.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

// The real binary with a scratch home folder that has a Desktop for the error log.
class CutJobFixture : public ::testing::Test {
 protected:
  CutJobFixture() { fs::create_directories(home / "Desktop"); }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    ASSERT_EQ(event_name(backend->read_line().value_or("{}")), "ready");
  }

  // Sends a command and reads its events up to the closing event.
  std::vector<Json> command(const std::string& cmd, const Json& payload, const std::string& until,
                            std::chrono::seconds timeout = std::chrono::seconds(60)) {
    backend->send(cmd, payload);
    std::vector<Json> events;
    for (const std::string& line : backend->read_until(until, timeout))
      events.push_back(Json::parse(line));
    return events;
  }

  std::vector<std::string> queue(const std::vector<fs::path>& files) {
    Json paths = Json::array();
    for (const fs::path& file : files)
      paths.push_back(path_to_utf8(file));
    const auto events = command("add_cut_files", {{"paths", paths}}, "state");
    return events.back()["cut_queue"].get<std::vector<std::string>>();
  }

  ScopedTempDir home{"tavelmor_home_"};
  std::unique_ptr<BackendProcess> backend;
};

using CutJob = CutJobFixture;
using CutJobMedia = CutJobFixture;

// A stand-in ffmpeg that notes its process id and then runs for minutes, as a long encode
// would; ffprobe answers with a duration.
struct EndlessFfmpeg {
  explicit EndlessFfmpeg(const ScopedTempDir& folder) : pid_file(folder / "ffmpeg.pid") {
    stand_ins.add("ffprobe", "echo '{\"format\": {\"duration\": \"10.0\"}}'");
    stand_ins.add("ffmpeg", "echo $$ > '" + pid_file.string() + "'\nexec /bin/sleep 300");
  }

  // A stand-in that outlived a failing test is not left running.
  ~EndlessFfmpeg() {
    const int pid = std::atoi(read_text_file(pid_file).c_str());
    if (pid > 0 && !process_has_ended(pid))
      ::kill(pid, SIGKILL);
  }
  EndlessFfmpeg(const EndlessFfmpeg&) = delete;
  EndlessFfmpeg& operator=(const EndlessFfmpeg&) = delete;

  // The stand-in's process id once it runs.
  int wait_for_start() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const int pid = std::atoi(read_text_file(pid_file).c_str());
      if (pid > 0)
        return pid;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }

  ScopedStandIns stand_ins{true};
  fs::path pid_file;
};

bool ends_within(int pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!process_has_ended(pid) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return process_has_ended(pid);
}

}  // namespace

TEST_F(CutJob, AnEmptyQueueIsRefusedWithoutSavingTheSettings) {
  start();
  backend->send("start_cut", {{"suffix", "_neu"}});
  const Json notice = Json::parse(backend->read_line().value_or("{}"));
  EXPECT_EQ(notice, (Json{{"event", "notify"},
                          {"title", "Hinweis"},
                          {"message", "Bitte zuerst Videos hinzufügen."}}));
  EXPECT_TRUE(backend->no_more_lines());
  EXPECT_FALSE(fs::exists(home / ".pindrale_config.json"));
}

TEST_F(CutJob, ABusyBackendRefusesAndEndOfInputEndsTheFfmpegChild) {
  EndlessFfmpeg ffmpeg(home);
  write_text_file(home / "rec.wav", "sound");
  start();
  queue({home / "rec.wav"});
  backend->send("start_cut", Json());
  const int child = ffmpeg.wait_for_start();
  ASSERT_GT(child, 0);

  // Refused while the job runs: a notice, the suffix stays.
  const auto refused = command("start_cut", {{"suffix", "_neu"}}, "notify");
  EXPECT_EQ(refused.back()["message"], "Bitte warten, es läuft bereits ein Prozess.");
  const auto state = command("get_state", Json(), "state");
  EXPECT_EQ(state.back()["cfg"]["suffix"], "_cut");
  EXPECT_EQ(state.back()["busy"], true);

  const auto closed = std::chrono::steady_clock::now();
  EXPECT_EQ(backend->close_and_wait(std::chrono::seconds(3)), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
  EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
}

TEST_F(CutJob, ATerminationSignalEndsTheFfmpegChildToo) {
  EndlessFfmpeg ffmpeg(home);
  write_text_file(home / "rec.wav", "sound");
  start();
  queue({home / "rec.wav"});
  backend->send("start_cut", Json());
  const int child = ffmpeg.wait_for_start();
  ASSERT_GT(child, 0);
  ::kill(backend->pid(), SIGTERM);
  EXPECT_TRUE(ends_within(backend->pid(), std::chrono::seconds(3)));
  EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
}

TEST_F(CutJobMedia, ABatchWithOneBrokenFileGoesOnAndFillsTheMasterList) {
  const fs::path out = home / "Geschnitten";
  make_recording(home / "a.wav", {1.0, 1.0, 2.0, 0.5}, true, 0, 0);
  make_recording(home / "b stille.m4a", {2.5}, true, 0, 0);
  write_text_file(home / "c.mp4", "no video in here");
  start();
  queue({home / "a.wav", home / "b stille.m4a", home / "c.mp4"});
  const Json payload = {
      {"output_folder", path_to_utf8(out)}, {"suffix", ""}, {"resolution", "Querformat 1920x1080"}};
  const auto events = command("start_cut", payload, "notify", std::chrono::seconds(120));

  std::vector<std::pair<int, std::string>> progress;
  std::vector<Json> errors;
  const Json* final_state = nullptr;
  for (const Json& event : events) {
    if (event["event"] == "progress")
      progress.emplace_back(event["pct"].get<int>(), event["status"].get<std::string>());
    if (event["event"] == "log" && event["level"] == "error")
      errors.push_back(event);
    if (event["event"] == "state")
      final_state = &event;
  }
  const auto has = [&](int pct, const std::string& status) {
    return std::find(progress.begin(), progress.end(), std::make_pair(pct, status)) !=
           progress.end();
  };
  EXPECT_EQ(progress.front(), std::make_pair(0, std::string("Starte Batch ...")));
  EXPECT_TRUE(has(0, "Video 1/3: a.wav"));
  EXPECT_TRUE(has(33, "Video 2/3: b stille.m4a"));
  EXPECT_TRUE(has(66, "Video 3/3: c.mp4"));
  EXPECT_TRUE(has(33, "Gespeichert – Video 1/3"));
  EXPECT_TRUE(has(66, "Gespeichert – Video 2/3"));
  EXPECT_FALSE(has(100, "Gespeichert – Video 3/3"));
  EXPECT_TRUE(has(39, "Analysiere Audio/Stille – Video 2/3"));
  EXPECT_TRUE(has(33 + 18, "Schneide – Video 2/3")) << "the name's keyword moves the bar";
  EXPECT_EQ(progress.back(), std::make_pair(100, std::string("Fertig ✓")));

  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0]["msg"].get<std::string>().rfind(
                "Fehler: ffprobe konnte die Videolänge nicht lesen: c.mp4\n", 0),
            0u);

  const std::vector<std::string> clips = {path_to_utf8(out / "a_cut.wav"),
                                          path_to_utf8(out / "b stille_cut.m4a")};
  ASSERT_NE(final_state, nullptr);
  EXPECT_EQ((*final_state)["busy"], false) << "busy is cleared before the notice";
  EXPECT_EQ((*final_state)["mas_files"], clips);
  EXPECT_EQ(events.back(),
            (Json{{"event", "notify"},
                  {"title", "Cut Fertig"},
                  {"message",
                   "2 von 3 Videos erfolgreich geschnitten. Die Videos wurden automatisch in "
                   "Clips in Reihenfolge übertragen."}}));
  const Json saved = Json::parse(read_text_file(home / ".pindrale_config.json"));
  EXPECT_EQ(saved["resolution"], "Querformat 1920x1080");
  EXPECT_EQ(saved["suffix"], "_cut") << "an empty suffix does not override";
  EXPECT_EQ(saved["output_folder"], path_to_utf8(out));

  // The same batch again: the same clips, not listed twice.
  const auto again = command("start_cut", Json(), "notify", std::chrono::seconds(120));
  EXPECT_EQ(again[again.size() - 2]["mas_files"], clips);
}

TEST_F(CutJobMedia, TheLongRunsMoveTheBarWithinTheirStepsWhileTheStepsStayAsTheyWere) {
  make_recording(home / "take.mp4", {2.0});
  start();
  queue({home / "take.mp4"});
  const auto events =
      command("start_cut", {{"output_folder", path_to_utf8(home / "out")}}, "notify");

  std::vector<int> encode;
  for (size_t i = 0; i < events.size(); ++i) {
    if (!is_run_progress(events, i))
      continue;
    const int pct = events[i]["pct"].get<int>();
    if (events[i]["status"] == "Exportiere – Video 1/1") {
      encode.push_back(pct);
    } else {
      // The analyses move the bar within their own step, short of the step after it.
      EXPECT_EQ(events[i]["status"], "Analysiere Audio/Stille – Video 1/1");
      EXPECT_GT(pct, 18);
      EXPECT_LT(pct, 25);
    }
  }
  ASSERT_FALSE(encode.empty()) << "the bar stood still during the encode";
  EXPECT_GT(encode.front(), 78);
  EXPECT_LT(encode.back(), 100) << "100 is the step after the encode";
  EXPECT_TRUE(std::is_sorted(encode.begin(), encode.end()));

  std::vector<std::pair<int, std::string>> steps;
  for (const Json& event : without_run_progress(events)) {
    if (event["event"] == "progress")
      steps.emplace_back(event["pct"].get<int>(), event["status"].get<std::string>());
  }
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "Starte Batch ..."},
      {0, "Video 1/1: take.mp4"},
      {12, "Suche letzten Take – Video 1/1"},
      {18, "Analysiere Audio/Stille – Video 1/1"},
      {25, "Stille erkannt – Video 1/1"},
      {32, "Bereite letzten Take vor – Video 1/1"},
      {55, "Schneide – Video 1/1"},
      {18, "Analysiere Audio/Stille – Video 1/1"},
      {25, "Stille erkannt – Video 1/1"},
      {18, "Analysiere Audio/Stille – Video 1/1"},
      {25, "Stille erkannt – Video 1/1"},
      {78, "Exportiere – Video 1/1"},
      {100, "Gespeichert – Video 1/1"},
      {100, "Fertig ✓"}};
  EXPECT_EQ(steps, expected);
}
