#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "settings/callbacks.h"
#include "settings/reporter.h"

// The progress bar of one panel while a job runs. The job's own steps go out as they are, each
// owning the share of the bar from its percentage up to where the step after it begins; what an
// FFmpeg run inside a step reports moves the bar within that share. Such a report goes out only
// when the whole percentage rose, never reaches the next step's percentage, and comes at most
// every LIVE_INTERVAL. Thread-safe: a run may report from a thread of its own.
class ProgressBar {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::chrono::milliseconds LIVE_INTERVAL{250};

  // The bar of `panel`, standing at the step that its host has sent already.
  ProgressBar(const Reporter& report, std::string panel, double pct, std::string status,
              double share_end, Clock now = std::chrono::steady_clock::now);

  // Sends a step's progress; its share ends at `share_end` (`pct` for a step that runs nothing).
  void step(double pct, const std::string& status, double share_end);

  // How far the current step's run is, as a ProgressFn for it.
  void run_done(double done);
  ProgressFn run_progress();

 private:
  const Reporter& report_;
  const std::string panel_;
  const Clock now_;

  std::mutex mutex_;
  double start_;
  double end_;
  std::string status_;
  int shown_;  // the whole percentage on the bar now
  std::optional<std::chrono::steady_clock::time_point> last_live_;
};
