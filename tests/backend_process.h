#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "settings/json_text.h"

// The real backend binary as a child process, with its home folder set to `home`: the protocol
// tests write command lines to its standard input and read its event lines as they arrive.
// Every line read is also kept for the schema check when BACKEND_EVENT_LINES names a folder.
class BackendProcess {
 public:
  explicit BackendProcess(const std::string& home, const std::vector<std::string>& extra_env = {});
  ~BackendProcess();
  BackendProcess(const BackendProcess&) = delete;
  BackendProcess& operator=(const BackendProcess&) = delete;

  void send_line(const std::string& line);
  void send(const std::string& cmd, const Json& payload = Json());

  // The next event line as written (without its line feed), or nothing when none arrives in
  // time or the output has ended.
  std::optional<std::string> read_line(
      std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Reads lines until one has the given event name; returns all lines read, that one last.
  std::vector<std::string> read_until(const std::string& event,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // True when no line arrives within `quiet`.
  bool no_more_lines(std::chrono::milliseconds quiet = std::chrono::milliseconds(300));

  // Closes standard input and waits for the exit; returns the exit status (-1 on a signal or
  // when it does not end within `timeout`).
  int close_and_wait(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Waits for the end without closing anything; the wait status as waitpid gives it, or nothing
  // when it does not end within `timeout`.
  std::optional<int> wait_status(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Closes standard input without waiting.
  void close_input();
  // Stops reading the events: the backend's next write finds its output closed.
  void close_output();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string buffer_;
  bool exited_ = false;
};

// The event name of an event line.
std::string event_name(const std::string& line);

// Whether a progress event is one that a run sends within its step: it repeats the panel and the
// status of the progress event before it in `events`, at a higher percentage.
bool is_run_progress(const std::vector<Json>& events, size_t i);

// The events without those a run sent within its step: the events of the job's steps alone.
std::vector<Json> without_run_progress(const std::vector<Json>& events);
