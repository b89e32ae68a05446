#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
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
