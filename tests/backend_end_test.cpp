#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "backend_process.h"
#include "settings/path_text.h"
#include "support/test_util.h"

// The ways the backend ends while a long step runs, each tried the way a frontend or the system
// ends it: what the step made must be gone, an earlier result of the same name must be as it was,
// and no child may run on.

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
// writes a little to its output (its last argument) and ends at once, except for the output that
// matches the shell pattern `step`: there it notes its process id and runs on as a long encode
// would, or, when `fails`, ends as on a full disk.
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
                  "case \"$*\" in *silencedetect*) exit 0 ;; esac\n"
                  "echo half-written > \"$out\"\n"
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

// A job of the backend and the shell pattern of the output its long step writes.
struct Job {
  std::string name;
  std::string step;
  std::function<void(BackendProcess&, const fs::path& home, const fs::path& out)> start;
};

void start_cut(BackendProcess& backend, const fs::path& home, const fs::path& out) {
  write_text_file(home / "rec.wav", "sound");
  backend.send("add_cut_files", {{"paths", {path_to_utf8(home / "rec.wav")}}});
  backend.read_until("state");
  backend.send("start_cut", {{"output_folder", path_to_utf8(out)}});
}

void start_export(BackendProcess& backend, const fs::path& clip, const std::string& mode,
                  const fs::path& out) {
  write_text_file(clip, "picture");
  backend.send("add_master_files", {{"paths", {path_to_utf8(clip)}}});
  backend.read_until("state");
  backend.send("start_export", {{"mode", mode}, {"output_folder", path_to_utf8(out)}});
}

const Job TAKE = {"take copy", "*tavelmor_take_*", start_cut};
const Job CUT_ENCODE = {"cut encode", "*rec_cut.partial.wav", start_cut};
const Job NORMALISATION = {"normalisation", "*norm_0000.mp4",
                           [](BackendProcess& backend, const fs::path& home, const fs::path& out) {
                             start_export(backend, home / "clip.mp4", "mp4", out);
                           }};
const Job JOIN = {"join", "*master_video.partial.mp4",
                  [](BackendProcess& backend, const fs::path& home, const fs::path& out) {
                    start_export(backend, home / "clip.mp4", "mp4", out);
                  }};
const Job PREMIERE_COPY = {"premiere copy", "*take_premiere.partial.mp4",
                           [](BackendProcess& backend, const fs::path& home, const fs::path& out) {
                             start_export(backend, home / "take.mkv", "premiere", out);
                           }};

// A way to end the backend and the wait status it must end with.
struct Ending {
  std::string name;
  std::function<void(BackendProcess&)> end;
  std::function<bool(int)> expected_status;
};

const Ending INPUT_CLOSED = {
    "stdin closed", [](BackendProcess& backend) { backend.close_input(); },
    [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }};

Ending by_signal(int signal_number, const std::string& name) {
  return {name, [signal_number](BackendProcess& backend) { ::kill(backend.pid(), signal_number); },
          [signal_number](int status) {
            return WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
          }};
}

// A frontend that stops reading the events but sends another command.
const Ending OUTPUT_CLOSED = {
    "output closed",
    [](BackendProcess& backend) {
      backend.close_output();
      backend.send("get_state");
    },
    [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 3; }};

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
  const std::vector<std::pair<Job, Ending>> cases = {
      {TAKE, INPUT_CLOSED},
      {CUT_ENCODE, by_signal(SIGTERM, "SIGTERM")},
      {NORMALISATION, by_signal(SIGINT, "SIGINT")},
      {JOIN, INPUT_CLOSED},
      {JOIN, by_signal(SIGHUP, "SIGHUP")},
      {PREMIERE_COPY, OUTPUT_CLOSED},
      {CUT_ENCODE, OUTPUT_CLOSED},
  };
  const auto earlier = files_below(out);
  for (const auto& [job, ending] : cases) {
    SCOPED_TRACE(job.name + " / " + ending.name);
    LongStep step(stand_ins, home / (job.name + ending.name + ".pid"), job.step);
    start();
    job.start(*backend, home.path(), out);
    const int child = step.wait_for_start();
    ASSERT_GT(child, 0) << "the step did not start";

    ending.end(*backend);
    const std::optional<int> status = backend->wait_status(std::chrono::seconds(2));
    ASSERT_TRUE(status.has_value()) << "the end is not prompt";
    EXPECT_TRUE(ending.expected_status(*status)) << "wait status " << *status;
    EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
    EXPECT_EQ(files_below(out), earlier);
    EXPECT_TRUE(is_empty_folder(temporary.path()));
  }
}

TEST_F(BackendEnd, AStepThatFailsLeavesTheEarlierResultAsItWas) {
  const auto earlier = files_below(out);
  for (const Job& job : {CUT_ENCODE, JOIN}) {
    SCOPED_TRACE(job.name);
    LongStep step(stand_ins, home / "unused.pid", job.step, true);
    start();
    job.start(*backend, home.path(), out);
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
  CUT_ENCODE.start(*backend, home.path(), out);
  const int child = step.wait_for_start();
  ASSERT_GT(child, 0);
  ::kill(backend->pid(), SIGKILL);
  ASSERT_TRUE(backend->wait_status().has_value());
  EXPECT_TRUE(ends_within(child, std::chrono::seconds(2))) << "ffmpeg outlived the backend";
  EXPECT_EQ(read_text_file(out / "rec_cut.wav"), "clip of an earlier cut");
}
#endif
