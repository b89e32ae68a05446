#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

#include "backend_process.h"
#include "capcut/project_export.h"
#include "settings/path_text.h"
#include "support/test_util.h"

// The ways a long step ends early: the backend ends, tried the way a frontend or the system ends
// it, or the frontend cancels the job. What the step made must be gone, an earlier result of the
// same name must be as it was, and no child may run on.

namespace {

// Every regular file below `folder` with its content.
std::map<std::string, std::string> files_below(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file())
      files[path_to_utf8(it->path().lexically_relative(folder))] = read_text_file(it->path());
  }
  return files;
}

bool is_empty_folder(const fs::path& folder) {
  return fs::is_directory(folder) && fs::is_empty(folder);
}

bool ends_within(int pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!process_has_ended(pid) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return process_has_ended(pid);
}

// A long step: stand-ins for ffprobe (a 10 s file with picture and sound) and ffmpeg, which
// writes a little to its output (its last argument; an analysis writes its progress instead) and
// ends at once, except for the output that matches the shell pattern `step`: there it notes its
// process id and runs on as a long encode would, or, when `fails`, ends as on a full disk.
class LongStep {
 public:
  LongStep(ScopedStandIns& stand_ins, const fs::path& pid_file, const std::string& step,
           bool fails = false)
      : pid_file_(pid_file) {
    stand_ins.add("ffprobe",
                  "echo '{\"format\": {\"duration\": \"10.0\"}, \"streams\": "
                  "[{\"codec_type\": \"video\"}, {\"codec_type\": \"audio\"}]}'");
    const std::string then = fails ? "echo 'No space left on device' >&2; exit 1"
                                   : "echo $$ > '" + pid_file.string() + "'; exec /bin/sleep 300";
    stand_ins.add("ffmpeg",
                  "for out; do :; done\n"
                  "case \"$*\" in *silencedetect*) echo out_time_us=10000000 ;;\n"
                  "  *) echo half-written > \"$out\" ;; esac\n"
                  "case \"$out\" in " +
                      step + ") " + then + " ;; esac");
  }
  ~LongStep() {
    const int pid = running_pid();
    if (pid > 0 && !process_has_ended(pid))
      ::kill(pid, SIGKILL);
  }
  LongStep(const LongStep&) = delete;
  LongStep& operator=(const LongStep&) = delete;

  int running_pid() const { return std::atoi(read_text_file(pid_file_).c_str()); }

  // The stand-in's process id once the step runs; 0 when it does not start in time.
  int wait_for_start() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (running_pid() <= 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return running_pid();
  }

 private:
  fs::path pid_file_;
};

// A job of the backend: the shell pattern of the output its long step writes, the file it works
// on, and the export mode ("" for a cut).
struct Job {
  std::string step;
  std::string input;
  std::string mode;
};

void start_job(BackendProcess& backend, const Job& job, const fs::path& home, const fs::path& out) {
  write_text_file(home / job.input, "media");
  const Json paths = {{"paths", {path_to_utf8(home / job.input)}}};
  backend.send(job.mode.empty() ? "add_cut_files" : "add_master_files", paths);
  backend.read_until("state");
  if (job.mode.empty())
    backend.send("start_cut", {{"output_folder", path_to_utf8(out)}});
  else
    backend.send("start_export", {{"mode", job.mode}, {"output_folder", path_to_utf8(out)}});
}

const Job ANALYSIS = {"-", "rec.wav", ""};
const Job CUT_ENCODE = {"*rec_cut.partial.wav", "rec.wav", ""};
const Job GROUP = {"*part_0000.pcm", "clip.mp4", "mp4"};
const Job JOIN = {"*master_video.partial.mp4", "clip.mp4", "mp4"};
const Job PREMIERE_COPY = {"*take_premiere.partial.mp4", "take.mkv", "premiere"};

// A way to end the backend: closing its input, a frontend that stops reading the events but
// sends another command, or a signal.
constexpr int INPUT_CLOSED = 0;
constexpr int OUTPUT_CLOSED = -1;

void end_backend(BackendProcess& backend, int ending) {
  if (ending == INPUT_CLOSED) {
    backend.close_input();
  } else if (ending == OUTPUT_CLOSED) {
    backend.close_output();
    backend.send("get_state");
  } else {
    ::kill(backend.pid(), ending);
  }
}

// Cancels the running job; returns the events up to the cancel's own answer: the job's closing
// ones (a notice and a state that is no longer busy, in the job's order), then the cancel's
// state.
std::vector<Json> cancel_and_read(BackendProcess& backend) {
  backend.send("cancel");
  std::vector<Json> events;
  int notices = 0;
  int idle_states = 0;
  while (notices < 1 || idle_states < 2) {
    const std::optional<std::string> line = backend.read_line();
    if (!line)
      throw std::runtime_error("the cancel was not answered");
    const Json event = Json::parse(*line);
    notices += event["event"] == "notify";
    idle_states += event["event"] == "state" && event["busy"] == false;
    events.push_back(event);
  }
  return events;
}

bool ended_as_expected(int status, int ending) {
  if (ending == INPUT_CLOSED)
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (ending == OUTPUT_CLOSED)
    return WIFEXITED(status) && WEXITSTATUS(status) == 3;
  return WIFSIGNALED(status) && WTERMSIG(status) == ending;
}

class BackendEnd : public ::testing::Test {
 protected:
  BackendEnd() {
    fs::create_directories(home / "Desktop");
    fs::create_directories(out);
    write_text_file(out / "rec_cut.wav", "clip of an earlier cut");
    write_text_file(out / "master_video.mp4", "earlier master");
  }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    ASSERT_EQ(event_name(backend->read_line().value_or("{}")), "ready");
  }

  ScopedTempDir home{"tavelmor_end_"};
  ScopedStandIns stand_ins{true};
  ScopedTempDir temporary{"tavelmor_end_tmp_"};
  ScopedEnvVar tmpdir{"TMPDIR", temporary.text()};
  fs::path out = home / "out";
  std::unique_ptr<BackendProcess> backend;
};

}  // namespace

TEST_F(BackendEnd, EveryEndDuringALongStepRemovesWhatTheStepMadeAndEndsItsChild) {
  const std::vector<std::pair<Job, int>> cases = {
      {ANALYSIS, INPUT_CLOSED},    {CUT_ENCODE, SIGTERM}, {GROUP, SIGINT},
      {JOIN, INPUT_CLOSED},        {JOIN, SIGHUP},        {PREMIERE_COPY, OUTPUT_CLOSED},
      {CUT_ENCODE, OUTPUT_CLOSED},
  };
  const auto earlier = files_below(out);
  for (const auto& [job, ending] : cases) {
    SCOPED_TRACE(job.step + " / ending " + std::to_string(ending));
    LongStep step(stand_ins, home / "step.pid", job.step);
    std::error_code ignored;
    fs::remove(home / "step.pid", ignored);
    start();
    start_job(*backend, job, home.path(), out);
    const int child = step.wait_for_start();
    ASSERT_GT(child, 0) << "the step did not start";

    end_backend(*backend, ending);
    const std::optional<int> status = backend->wait_status(std::chrono::seconds(2));
    ASSERT_TRUE(status.has_value()) << "the end is not prompt";
    EXPECT_TRUE(ended_as_expected(*status, ending)) << "wait status " << *status;
    EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
    EXPECT_EQ(files_below(out), earlier);
    EXPECT_TRUE(is_empty_folder(temporary.path()));
  }
}

TEST_F(BackendEnd, ACancelDuringALongStepRemovesWhatTheStepMadeAndTheBackendGoesOn) {
  const auto earlier = files_below(out);
  start();
  for (const Job& job : {ANALYSIS, CUT_ENCODE, GROUP, JOIN, PREMIERE_COPY}) {
    SCOPED_TRACE(job.step);
    LongStep step(stand_ins, home / "step.pid", job.step);
    std::error_code ignored;
    fs::remove(home / "step.pid", ignored);
    start_job(*backend, job, home.path(), out);
    const int child = step.wait_for_start();
    ASSERT_GT(child, 0) << "the step did not start";

    const auto cancelled = std::chrono::steady_clock::now();
    const std::vector<Json> events = cancel_and_read(*backend);
    EXPECT_TRUE(ends_within(
        child, std::chrono::seconds(1) - std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - cancelled)))
        << "ffmpeg outlived the cancel";
    const auto notice = std::find_if(events.begin(), events.end(),
                                     [](const Json& event) { return event["event"] == "notify"; });
    ASSERT_NE(notice, events.end());
    EXPECT_EQ((*notice)["title"], "Abgebrochen");
    EXPECT_EQ(events.back()["busy"], false);
    EXPECT_EQ(files_below(out), earlier);
    EXPECT_TRUE(is_empty_folder(temporary.path()));
  }
}

TEST_F(BackendEnd, ACancelledCapcutExportLeavesNoProjectAndCapcutsListAsItWas) {
  // The export reads each clip's length: here that probe runs as long as a slow disk makes it.
  const fs::path pid_file = home / "probe.pid";
  stand_ins.add("ffprobe", "echo $$ > '" + pid_file.string() + "'\nexec /bin/sleep 300");
  const fs::path projects = capcut_project_dir_for_home(home.path());
  fs::create_directories(projects);
  write_text_file(projects / "root_meta_info.json", R"({"all_draft_store": []})");
  start();
  start_job(*backend, {"", "clip.mp4", "capcut"}, home.path(), out);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (read_text_file(pid_file).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const int probe = std::atoi(read_text_file(pid_file).c_str());
  ASSERT_GT(probe, 0) << "the export did not start";

  const std::vector<Json> events = cancel_and_read(*backend);
  EXPECT_TRUE(ends_within(probe, std::chrono::seconds(1)));
  EXPECT_NE(std::find(events.begin(), events.end(),
                      Json{{"event", "notify"},
                           {"title", "Abgebrochen"},
                           {"message", "Der CAPCUT Export wurde abgebrochen."}}),
            events.end());
  EXPECT_EQ(
      files_below(projects),
      (std::map<std::string, std::string>{{"root_meta_info.json", R"({"all_draft_store": []})"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(projects), fs::directory_iterator()), 1)
      << "no project folder";
}

TEST_F(BackendEnd, AStepThatFailsLeavesTheEarlierResultAsItWas) {
  const auto earlier = files_below(out);
  for (const Job& job : {CUT_ENCODE, JOIN}) {
    SCOPED_TRACE(job.step);
    LongStep step(stand_ins, home / "unused.pid", job.step, true);
    start();
    start_job(*backend, job, home.path(), out);
    const std::vector<std::string> events = backend->read_until("notify");
    const auto failure = std::find_if(events.begin(), events.end(), [](const std::string& line) {
      return line.find("No space left on device") != std::string::npos;
    });
    EXPECT_NE(failure, events.end()) << "the failure was not reported";
    EXPECT_EQ(backend->close_and_wait(), 0);
    EXPECT_EQ(files_below(out), earlier);
    EXPECT_TRUE(is_empty_folder(temporary.path()));
  }
}

#ifdef __linux__
TEST_F(BackendEnd, AKilledBackendTakesItsChildWith) {
  LongStep step(stand_ins, home / "encode.pid", CUT_ENCODE.step);
  start();
  start_job(*backend, CUT_ENCODE, home.path(), out);
  const int child = step.wait_for_start();
  ASSERT_GT(child, 0);
  ::kill(backend->pid(), SIGKILL);
  ASSERT_TRUE(backend->wait_status().has_value());
  EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
  EXPECT_EQ(read_text_file(out / "rec_cut.wav"), "clip of an earlier cut");
}
#endif

namespace {

// The real FFmpeg, with the backend's temporary files in a folder of their own.
class CancelMedia : public ::testing::Test {
 protected:
  CancelMedia() { fs::create_directories(home / "Desktop"); }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    ASSERT_EQ(event_name(backend->read_line().value_or("{}")), "ready");
  }

  // Reads events until one that `last` accepts; none arriving is a failure.
  Json read_until(const std::function<bool(const Json&)>& last) {
    while (true) {
      const std::optional<std::string> line = backend->read_line(std::chrono::seconds(60));
      if (!line)
        throw std::runtime_error("the awaited event did not come");
      const Json event = Json::parse(*line);
      if (last(event))
        return event;
    }
  }

  ScopedTempDir home{"tavelmor_cancel_"};
  ScopedTempDir temporary{"tavelmor_cancel_tmp_"};
  ScopedEnvVar tmpdir{"TMPDIR", temporary.text()};
  fs::path out = home / "out";
  std::unique_ptr<BackendProcess> backend;
};

using Cancel = CancelMedia;

}  // namespace

TEST_F(CancelMedia, DuringTheEncodeTheChildGoesAndTheFinishedClipGoesToTheMasterList) {
  make_recording(home / "a.mp4", {0.5});
  make_recording(home / "b.mp4", {3.0});
  start();
  backend->send("add_cut_files",
                {{"paths", {path_to_utf8(home / "a.mp4"), path_to_utf8(home / "b.mp4")}}});
  backend->read_until("state");
  backend->send("start_cut", {{"output_folder", path_to_utf8(out)}});
  // The encode of b has begun to move the bar.
  read_until([](const Json& event) {
    return event["event"] == "progress" && event["status"] == "Exportiere – Video 2/2" &&
           event["pct"] > 50 + 39;
  });
  const std::vector<int> encode = children_mentioning(backend->pid(), "b_cut.partial.mp4");
  ASSERT_EQ(encode.size(), 1u);

  const auto cancelled = std::chrono::steady_clock::now();
  const std::vector<Json> events = without_run_progress(cancel_and_read(*backend));
  EXPECT_TRUE(ends_within(
      encode[0], std::chrono::seconds(1) - std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - cancelled)))
      << "the encode outlived the cancel by more than a second";
  const std::string clip = path_to_utf8(out / "a_cut.mp4");
  ASSERT_EQ(events.size(), 5u) << Json(events).dump();
  EXPECT_EQ(
      events[0],
      (Json{{"event", "progress"}, {"panel", "cut"}, {"pct", 0}, {"status", "Abgebrochen ✗"}}));
  EXPECT_EQ(events[1], (Json{{"event", "log"},
                             {"panel", "cut"},
                             {"msg", "Abgebrochen! 1/2 Videos geschnitten."},
                             {"level", "info"}}));
  EXPECT_EQ(events[2]["busy"], false);
  EXPECT_EQ(events[2]["mas_files"], Json::array({clip}));
  EXPECT_EQ(events[3], (Json{{"event", "notify"},
                             {"title", "Abgebrochen"},
                             {"message",
                              "Der Schnitt wurde abgebrochen. 1 von 2 Videos wurden geschnitten "
                              "und automatisch in Clips in Reihenfolge übertragen."}}));
  EXPECT_EQ(events[4]["busy"], false) << "the cancel's own answer";
  EXPECT_EQ(files_below(out).size(), 1u) << "only the finished clip";
  EXPECT_TRUE(fs::exists(clip));
  EXPECT_TRUE(is_empty_folder(temporary.path()));
}

TEST_F(CancelMedia, DuringAMasterJoinAnEarlierMasterStaysAsItWas) {
  fs::create_directories(out);
  write_text_file(out / "master_video.mp4", "earlier master");
  make_recording(home / "clip.mp4", {2.0});
  start();
  backend->send("add_master_files", {{"paths", {path_to_utf8(home / "clip.mp4")}}});
  backend->read_until("state");
  backend->send("start_export", {{"mode", "mp4"}, {"output_folder", path_to_utf8(out)}});
  read_until([](const Json& event) {
    return event["event"] == "progress" && event["status"] == "Clips zusammenfügen ...";
  });
  // The join has begun to write beside the master.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(out / "master_video.partial.mp4") &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(fs::exists(out / "master_video.partial.mp4"));

  const std::vector<Json> events = without_run_progress(cancel_and_read(*backend));
  ASSERT_EQ(events.size(), 5u) << Json(events).dump();
  EXPECT_EQ(
      events[0],
      (Json{{"event", "progress"}, {"panel", "master"}, {"pct", 0}, {"status", "Abgebrochen ✗"}}));
  EXPECT_EQ(events[1], (Json{{"event", "log"},
                             {"panel", "master"},
                             {"msg", "Abgebrochen! MP4 Export nicht fertiggestellt."},
                             {"level", "info"}}));
  EXPECT_EQ(events[2], (Json{{"event", "notify"},
                             {"title", "Abgebrochen"},
                             {"message", "Der MP4 Export wurde abgebrochen."}}));
  EXPECT_EQ(events[3]["busy"], false);
  EXPECT_EQ(events[4]["busy"], false) << "the cancel's own answer";
  EXPECT_EQ(files_below(out),
            (std::map<std::string, std::string>{{"master_video.mp4", "earlier master"}}));
  EXPECT_TRUE(is_empty_folder(temporary.path()));
}

TEST_F(Cancel, WithoutAJobOnlyANoticeComesAndNothingChanges) {
  start();
  backend->send("get_state");
  const Json before = Json::parse(backend->read_line().value_or("{}"));
  backend->send("cancel");
  EXPECT_EQ(Json::parse(backend->read_line().value_or("{}")),
            (Json{{"event", "notify"},
                  {"title", "Hinweis"},
                  {"message", "Es läuft kein Prozess, der abgebrochen werden kann."}}));
  EXPECT_TRUE(backend->no_more_lines());
  backend->send("get_state");
  EXPECT_EQ(Json::parse(backend->read_line().value_or("{}")), before);
}
