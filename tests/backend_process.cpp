#include "backend_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// Keeps an event line for the check against the protocol's schema that runs after the tests:
// one file per test in the folder that BACKEND_EVENT_LINES names, when it is set.
void keep_event_line(const std::string& line) {
  const char* folder = std::getenv("BACKEND_EVENT_LINES");
  if (folder == nullptr || *folder == '\0')
    return;
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name =
      test ? std::string(test->test_suite_name()) + "." + test->name() : "outside_a_test";
  std::replace(name.begin(), name.end(), '/', '_');
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  std::ofstream(std::filesystem::path(folder) / (name + ".jsonl"), std::ios::app | std::ios::binary)
      << line << '\n';
}

}  // namespace

BackendProcess::BackendProcess(const std::string& home, const std::vector<std::string>& extra_env) {
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<std::string> env = {"HOME=" + home};
  for (char** entry = environ; *entry; ++entry) {
    if (std::string(*entry).rfind("HOME=", 0) != 0)
      env.push_back(*entry);
  }
  env.insert(env.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> envp;
  for (std::string& entry : env)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(out_pipe[1]);
    char* argv[] = {const_cast<char*>(BACKEND_BINARY), nullptr};
    execve(BACKEND_BINARY, argv, envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  to_child_ = in_pipe[1];
  from_child_ = out_pipe[0];
  signal(SIGPIPE, SIG_IGN);
}

BackendProcess::~BackendProcess() {
  if (to_child_ >= 0)
    close(to_child_);
  if (!exited_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (from_child_ >= 0)
    close(from_child_);
}

void BackendProcess::send_line(const std::string& line) {
  const std::string data = line + "\n";
  if (write(to_child_, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    throw std::runtime_error("write to backend failed");
  }
}

void BackendProcess::send(const std::string& cmd, const Json& payload) {
  Json line = {{"cmd", cmd}};
  if (!payload.is_null())
    line["payload"] = payload;
  send_line(line.dump());
}

std::optional<std::string> BackendProcess::read_line(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      keep_event_line(line);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return std::nullopt;
    pollfd polled = {from_child_, POLLIN, 0};
    if (poll(&polled, 1, static_cast<int>(left.count())) <= 0)
      continue;
    char chunk[65536];
    const ssize_t got = read(from_child_, chunk, sizeof chunk);
    if (got <= 0)
      return std::nullopt;
    buffer_.append(chunk, static_cast<size_t>(got));
  }
}

std::vector<std::string> BackendProcess::read_until(const std::string& event,
                                                    std::chrono::milliseconds timeout) {
  std::vector<std::string> lines;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const auto line = read_line(std::max(left, std::chrono::milliseconds(1)));
    if (!line)
      throw std::runtime_error("no '" + event + "' event arrived");
    lines.push_back(*line);
    if (event_name(*line) == event)
      return lines;
  }
}

bool BackendProcess::no_more_lines(std::chrono::milliseconds quiet) {
  return !read_line(quiet).has_value();
}

int BackendProcess::close_and_wait(std::chrono::milliseconds timeout) {
  close_input();
  const std::optional<int> status = wait_status(timeout);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

std::optional<int> BackendProcess::wait_status(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

void BackendProcess::close_input() {
  close(to_child_);
  to_child_ = -1;
}

void BackendProcess::close_output() {
  close(from_child_);
  from_child_ = -1;
}

std::string event_name(const std::string& line) {
  return Json::parse(line).value("event", std::string());
}

bool is_run_progress(const std::vector<Json>& events, size_t i) {
  if (events[i]["event"] != "progress")
    return false;
  for (size_t before = i; before-- > 0;) {
    if (events[before]["event"] != "progress")
      continue;
    return events[before]["panel"] == events[i]["panel"] &&
           events[before]["status"] == events[i]["status"] &&
           events[before]["pct"] < events[i]["pct"];
  }
  return false;
}

std::vector<Json> without_run_progress(const std::vector<Json>& events) {
  std::vector<Json> kept;
  for (size_t i = 0; i < events.size(); ++i) {
    if (!is_run_progress(events, i))
      kept.push_back(events[i]);
  }
  return kept;
}
