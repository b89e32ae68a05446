#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <thread>

#include "backend/backend.h"
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

TEST(CutJob, AFailureOutsideTheFileGuardClearsBusyAndIsLogged) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  write_text_file(home / "rec.wav", "not really sound");
  const FixedPaths paths = fixed_paths_for_home(home.path());

  // The job thread is detached and may still run when the test ends: the backend and its
  // stream are left alive on purpose.
  auto* events = new FailingAfter(4);
  auto* out = new std::ostream(events);
  auto* backend = new Backend(*out, paths);
  backend->add_cut_files(Json{{"paths", {(home / "rec.wav").string()}}});  // log, state
  try {
    backend->start_cut(Json());  // progress and log get through, the rest fails
  } catch (const std::exception&) {
    // Its own closing state event could not be written either.
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (backend->busy() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(backend->busy());
  EXPECT_NE(read_text_file(paths.error_log).find("Ereignis konnte nicht geschrieben werden"),
            std::string::npos);
}
