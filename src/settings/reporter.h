#pragma once

#include <functional>
#include <string>

// How a job or a command tells the frontend what happens without knowing the host that sends
// the events: a log line or a progress step of a panel ("cut" or "master"), a notice, and the
// state snapshot. The host fills in every member; each may be called from any thread.
struct Reporter {
  std::function<void(const std::string& panel, const std::string& msg, const std::string& level)>
      log;
  std::function<void(const std::string& panel, double pct, const std::string& status)> progress;
  std::function<void(const std::string& title, const std::string& message)> notify;
  std::function<void()> send_state;
};
