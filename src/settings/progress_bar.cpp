#include "settings/progress_bar.h"

#include <algorithm>
#include <cmath>

namespace {

// The whole percentage that a progress event shows for `pct`.
int shown_percent(double pct) {
  return static_cast<int>(std::trunc(std::clamp(pct, 0.0, 100.0)));
}

}  // namespace

ProgressBar::ProgressBar(const Reporter& report, std::string panel, double pct, std::string status,
                         double share_end, Clock now)
    : report_(report),
      panel_(std::move(panel)),
      now_(std::move(now)),
      start_(pct),
      end_(share_end),
      status_(std::move(status)),
      shown_(shown_percent(pct)) {}

// Each event goes out under the lock, so a run's report cannot overtake the step it belongs to.
void ProgressBar::step(double pct, const std::string& status, double share_end) {
  std::lock_guard<std::mutex> hold(mutex_);
  start_ = pct;
  end_ = share_end;
  status_ = status;
  shown_ = shown_percent(pct);
  report_.progress(panel_, pct, status);
}

void ProgressBar::run_done(double done) {
  std::lock_guard<std::mutex> hold(mutex_);
  const int live = std::min(shown_percent(start_ + std::clamp(done, 0.0, 1.0) * (end_ - start_)),
                            shown_percent(end_) - 1);
  if (live <= shown_)
    return;
  const auto now = now_();
  if (last_live_ && now - *last_live_ < LIVE_INTERVAL)
    return;
  shown_ = live;
  last_live_ = now;
  report_.progress(panel_, live, status_);
}

ProgressFn ProgressBar::run_progress() {
  return [this](double done) { run_done(done); };
}
