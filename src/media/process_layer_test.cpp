#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "media/process.h"
#include "support/test_util.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Runs the test suite's stand-in program. On Windows it is found beside the test executable;
// elsewhere its folder is put first on the search path.
class ProcessLayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    const char* path = std::getenv("PATH");
    const std::string search = std::string(TEST_CHILD_DIR) + ":" + (path ? path : "");
    setenv("PATH", search.c_str(), 1);
#endif
  }

  static ProcessResult child(std::vector<std::string> args, int timeout = 30,
                             OutputDecoding decoding = OutputDecoding::raw) {
    args.insert(args.begin(), "test_child");
    return run_process(args, timeout, decoding);
  }
};

}  // namespace

TEST_F(ProcessLayer, HandsBackTheExitCode) {
  EXPECT_EQ(child({"exit", "0"}).exit_code, 0);
  EXPECT_EQ(child({"exit", "3"}).exit_code, 3);
  EXPECT_EQ(child({"exit", "255"}).exit_code, 255);
}

TEST_F(ProcessLayer, PassesAwkwardArgumentsUnchanged) {
  const std::vector<std::string> awkward = {
      "",      "plain",         "two words",    "quote\"inside", "\"",          "back\\slash",
      "end\\", "end two\\\\",   "\\\"",         "a\\\\\"b",      "tab\there",   "new\nline",
      "ä ö ü", "Übung ✓ 🎬.mp4", "C:\\A B\\c\\", "it's",          "$HOME `x` *", "%PATH%"};
  std::vector<std::string> args = {"echo"};
  args.insert(args.end(), awkward.begin(), awkward.end());
  std::string expected;
  for (const std::string& arg : awkward)
    expected += std::to_string(arg.size()) + ":" + arg;
  const ProcessResult result = child(args);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, expected);
}

TEST_F(ProcessLayer, ReadsBothStreamsBeyondThePipeBuffer) {
  const ProcessResult result = child({"spew", "1048576"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out.size(), 1048576u);
  EXPECT_EQ(result.err.size(), 1048576u);
  EXPECT_EQ(result.out.find('e'), std::string::npos);
  EXPECT_EQ(result.err.find('o'), std::string::npos);
}

TEST_F(ProcessLayer, ATimeoutKillsTheChildAndFails) {
  const auto started = std::chrono::steady_clock::now();
  try {
    child({"sleep", "30"}, 1);
    ADD_FAILURE() << "no timeout";
  } catch (const std::runtime_error& failure) {
    EXPECT_NE(std::string(failure.what()).find("Zeitüberschreitung"), std::string::npos);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(ProcessLayer, AMissingProgramFailsWithItsName) {
  try {
    run_process({"no_such_program_here"}, 5, OutputDecoding::raw);
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& failure) {
    EXPECT_NE(std::string(failure.what()).find("no_such_program_here"), std::string::npos);
  }
}

TEST_F(ProcessLayer, DecodesOutputAsAsked) {
  EXPECT_EQ(child({"invalid"}).out, "ok \xff\xfe end");
  const ProcessResult replaced = child({"invalid"}, 30, OutputDecoding::replace_invalid);
  EXPECT_EQ(replaced.out, "ok \xEF\xBF\xBD\xEF\xBF\xBD end");
  EXPECT_EQ(replaced.err, "err \xEF\xBF\xBD");
  EXPECT_THROW(child({"invalid"}, 30, OutputDecoding::strict_utf8), std::runtime_error);
}

TEST_F(ProcessLayer, RunningChildrenCanBeKilled) {
  std::thread killer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill_running_children();
  });
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult result = child({"sleep", "30"});
  killer.join();
  EXPECT_NE(result.exit_code, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(ProcessLayer, AChildThatClosesItsOutputsStillTimesOut) {
  // The end of both streams is not the end of the child: the wait must keep the deadline.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(child({"linger", "30"}, 1), std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(ProcessLayer, HandsOverOutputLinesWhileTheChildRuns) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::pair<std::string, Clock::time_point>> lines;
  const ProcessResult result =
      run_process({"test_child", "lines", "2"}, 30, OutputDecoding::raw,
                  [&](std::string_view line) { lines.emplace_back(line, Clock::now()); });
  const auto ended = Clock::now();
  EXPECT_EQ(result.out, "one\ntwo\r\nthree\n\nfour") << "the whole output is still captured";
  ASSERT_EQ(lines.size(), 5u);
  const std::vector<std::string> expected = {"one", "two", "three", "", "four"};
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].first, expected[i]);
  EXPECT_GT(ended - lines[1].second, std::chrono::seconds(1)) << "two came before the pause";
}

TEST_F(ProcessLayer, AFailingLineReaderEndsTheChildAndTheRun) {
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(run_process({"test_child", "lines", "30"}, 60, OutputDecoding::raw,
                           [](std::string_view) { throw std::runtime_error("genug"); }),
               std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(ProcessLayer, ACancelEndsTheRunningChildAndKeepsNewOnesFromStarting) {
  std::thread canceller([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cancel_children();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(child({"sleep", "30"}), RunCancelled);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_THROW(child({"exit", "0"}), RunCancelled);
  EXPECT_THROW(throw_if_cancelled(), RunCancelled);
  allow_children();
  EXPECT_NO_THROW(throw_if_cancelled());
  EXPECT_EQ(child({"exit", "0"}).exit_code, 0);
}

#ifndef _WIN32

TEST_F(ProcessLayer, ACancelledRunStartsNoChild) {
  ScopedTempDir scratch;
  const fs::path started = scratch / "started";
  cancel_children();
  EXPECT_THROW(
      run_process({"sh", "-c", "touch '" + started.string() + "'"}, 10, OutputDecoding::raw),
      RunCancelled);
  allow_children();
  EXPECT_FALSE(fs::exists(started));
}

TEST_F(ProcessLayer, TheChildInheritsStandardInput) {
  int feed[2];
  ASSERT_EQ(pipe(feed), 0);
  const std::string line = "{\"cmd\": \"get_state\"}\n";
  ASSERT_EQ(write(feed[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  close(feed[1]);
  const int saved = dup(STDIN_FILENO);
  dup2(feed[0], STDIN_FILENO);
  close(feed[0]);
  ProcessResult result;
  try {
    result = child({"stdin"});
  } catch (...) {
    dup2(saved, STDIN_FILENO);
    close(saved);
    throw;
  }
  dup2(saved, STDIN_FILENO);
  close(saved);
  EXPECT_EQ(result.out, line);
}

TEST_F(ProcessLayer, ATimeoutAlsoKillsTheChildsOwnChildren) {
  ScopedTempDir scratch;
  const std::string pid_file = (scratch / "grandchild.pid").string();
  EXPECT_THROW(run_process({"sh", "-c", "sleep 30 & echo $! > '" + pid_file + "'; wait"}, 1,
                           OutputDecoding::raw),
               std::runtime_error);
  const int grandchild = std::atoi(read_text_file(pid_file).c_str());
  ASSERT_GT(grandchild, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!process_has_ended(grandchild) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(process_has_ended(grandchild));
}

// Runs in a child process of its own (a death test), since the end is for good. Exits 0 when
// the end killed the running child and neither its run nor a later one came back.
void end_and_report(const fs::path& folder) {
  const std::string pid_file = (folder / "running.pid").string();
  const std::string late_file = (folder / "late").string();
  std::thread running([&] {
    run_process({"sh", "-c", "echo $$ > '" + pid_file + "'; exec sleep 30"}, 60,
                OutputDecoding::raw);
    std::_Exit(3);  // the killed run came back
  });
  running.detach();
  int pid = 0;
  for (int i = 0; i < 500 && pid <= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pid = std::atoi(read_text_file(pid_file).c_str());
  }
  end_all_children();
  std::thread late([&] {
    run_process({"sh", "-c", "touch '" + late_file + "'"}, 60, OutputDecoding::raw);
    std::_Exit(4);  // a run started after the end
  });
  late.detach();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (pid <= 0 || !process_has_ended(pid))
    std::_Exit(5);
  std::_Exit(fs::exists(late_file) ? 6 : 0);
}

TEST_F(ProcessLayer, AfterTheEndNoChildRunsOrStartsAndNoRunComesBack) {
  ScopedTempDir scratch;
  EXPECT_EXIT(end_and_report(scratch.path()), ::testing::ExitedWithCode(0), "");
}

#endif
