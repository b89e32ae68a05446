#include <gtest/gtest.h>

#include <chrono>
#include <ios>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <thread>

#include "backend/backend.h"
#include "backend/backend_exit.h"
#include "support/test_util.h"

namespace {

// An event stream that takes `lines` lines and then fails every write: like a closed pipe, or,
// with `throwing`, like a device whose failure comes as an exception.
class FailingAfter : public std::streambuf {
 public:
  FailingAfter(int lines, bool throwing) : lines_left_(lines), throwing_(throwing) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (lines_left_ <= 0) {
      if (throwing_)
        throw std::runtime_error("Gerät nicht bereit");
      return 0;
    }
    for (std::streamsize i = 0; i < count; ++i)
      lines_left_ -= data[i] == '\n' ? 1 : 0;
    return count;
  }
  int_type overflow(int_type c) override {
    const char one = traits_type::to_char_type(c);
    return xsputn(&one, 1) == 1 ? c : traits_type::eof();
  }

 private:
  std::mutex lock_;
  int lines_left_;
  bool throwing_;
};

// A Backend on a failing stream whose home is `home`, kept alive until the process ends: a job
// thread may still use it.
Backend& backend_on_failing_stream(const fs::path& home, int lines, bool throwing) {
  auto* events = new FailingAfter(lines, throwing);
  auto* out = new std::ostream(events);
  if (throwing)
    out->exceptions(std::ios::badbit);  // the buffer's exception reaches the writer
  return *new Backend(*out, fixed_paths_for_home(home));
}

}  // namespace

// Runs in a child process of its own (a death test): the stream fails after `lines` lines, while
// the cut job runs, and the backend must end.
void cut_with_failing_events(const fs::path& home, int lines) {
  Backend& backend = backend_on_failing_stream(home, lines, false);
  backend.add_cut_files(Json{{"paths", {(home / "rec.wav").string()}}});  // log, state
  backend.start_cut(Json());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  std::_Exit(0);
}

TEST(CutJobDeathTest, AnEventThatCannotBeWrittenEndsTheBackend) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  write_text_file(home / "rec.wav", "not really sound");
  // 3 and 4 lines: the start fails on the command thread; 5: the job's first line, on the job
  // thread.
  for (const int lines : {3, 4, 5}) {
    EXPECT_EXIT(cut_with_failing_events(home.path(), lines),
                ::testing::ExitedWithCode(EXIT_OUTPUT_FAILED), "")
        << lines;
  }
}

// Runs in a child process of its own: the job `command` starts, and from then on every event
// write throws. Ends with status 0 once busy is clear again, 1 when it stays set.
void job_with_throwing_events(const fs::path& home, const std::string& command) {
  // Two lines for the list, three for the job's start (its state last); the job's own first line
  // fails.
  Backend& backend = backend_on_failing_stream(home, 5, true);
  const Json paths = {{"paths", {(home / "clip.mp4").string()}}};
  if (command == "start_cut") {
    backend.add_cut_files(paths);
    backend.start_cut(Json());
  } else {
    backend.add_master_files(paths);
    backend.start_export({{"mode", "xml"}});
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (backend.busy() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::_Exit(backend.busy() ? 1 : 0);
}

TEST(JobThreadDeathTest, AFailureOnTheJobThreadLeavesTheBackendNotBusy) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  write_text_file(home / "clip.mp4", "not really a clip");
  for (const std::string command : {"start_cut", "start_export"}) {
    EXPECT_EXIT(job_with_throwing_events(home.path(), command), ::testing::ExitedWithCode(0), "")
        << command;
  }
}
