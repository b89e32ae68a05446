#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <thread>

#include "backend/backend.h"
#include "backend/backend_exit.h"
#include "support/test_util.h"

namespace {

// An event stream that takes `lines` lines and then fails every write, like a closed pipe.
class FailingAfter : public std::streambuf {
 public:
  explicit FailingAfter(int lines) : lines_left_(lines) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (lines_left_ <= 0)
      return 0;
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
};

}  // namespace

// Runs in a child process of its own (a death test): the stream fails after `lines` lines, while
// the cut job runs, and the backend must end.
void cut_with_failing_events(const fs::path& home, int lines) {
  const FixedPaths paths = fixed_paths_for_home(home);
  auto* events = new FailingAfter(lines);
  auto* out = new std::ostream(events);
  auto* backend = new Backend(*out, paths);
  backend->add_cut_files(Json{{"paths", {(home / "rec.wav").string()}}});  // log, state
  backend->start_cut(Json());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  std::_Exit(0);
}

TEST(CutJobDeathTest, AnEventThatCannotBeWrittenEndsTheBackend) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  write_text_file(home / "rec.wav", "not really sound");
  // 3 lines: the start fails on the command thread; 4 and 5: on either thread, whichever writes
  // first.
  for (const int lines : {3, 4, 5}) {
    EXPECT_EXIT(cut_with_failing_events(home.path(), lines),
                ::testing::ExitedWithCode(EXIT_OUTPUT_FAILED), "")
        << lines;
  }
}
