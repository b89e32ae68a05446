#include "settings/progress_bar.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A bar whose clock the test moves, and the progress events it sent.
struct RecordedBar {
  RecordedBar(double pct, const std::string& status, double share_end) {
    report.progress = [this](const std::string& panel, double pct, const std::string& status) {
      sent.push_back(panel + " " + std::to_string(static_cast<int>(pct)) + " " + status);
    };
    bar.emplace(report, "cut", pct, status, share_end, [this] { return now; });
  }

  // Reports `done` after `later` has passed; returns what went out meanwhile.
  std::vector<std::string> report_after(milliseconds later, double done) {
    now += later;
    const size_t before = sent.size();
    bar->run_done(done);
    return std::vector<std::string>(sent.begin() + before, sent.end());
  }

  Reporter report;
  Clock::time_point now{};
  std::vector<std::string> sent;
  std::optional<ProgressBar> bar;
};

using Sent = std::vector<std::string>;

}  // namespace

TEST(ProgressBar, ARunMovesTheBarWithinItsStepsShare) {
  RecordedBar b(0, "Starte Batch ...", 0);
  EXPECT_EQ(b.report_after(milliseconds(0), 0.5), Sent{}) << "the start owns no share";
  b.bar->step(78, "Exportiere – Video 1/1", 100);
  EXPECT_EQ(b.sent, Sent{"cut 78 Exportiere – Video 1/1"});
  EXPECT_EQ(b.report_after(milliseconds(0), 0.0), Sent{}) << "nothing moved";
  EXPECT_EQ(b.report_after(milliseconds(10), 0.05), Sent{"cut 79 Exportiere – Video 1/1"});
  EXPECT_EQ(b.report_after(milliseconds(100), 0.5), Sent{}) << "too soon after the last";
  EXPECT_EQ(b.report_after(milliseconds(150), 0.5), Sent{"cut 89 Exportiere – Video 1/1"});
  EXPECT_EQ(b.report_after(milliseconds(300), 0.52), Sent{}) << "still 89";
  EXPECT_EQ(b.report_after(milliseconds(300), 0.2), Sent{}) << "never down";
  EXPECT_EQ(b.report_after(milliseconds(300), 1.0), Sent{"cut 99 Exportiere – Video 1/1"})
      << "the next step's percentage is the next step's";
  b.bar->step(100, "Gespeichert – Video 1/1", 100);
  EXPECT_EQ(b.report_after(milliseconds(300), 1.0), Sent{});
}

TEST(ProgressBar, EachStepOwnsItsShareAnew) {
  RecordedBar b(0, "Starte PREMIERE Export ...", 5);
  EXPECT_EQ(b.report_after(milliseconds(0), 0.9), Sent{"cut 4 Starte PREMIERE Export ..."});
  // A second run in the same step starts below what the bar shows: it waits until it passes it.
  b.bar->step(0, "Clip 1/3 wird verarbeitet ...", 100.0 / 3);
  EXPECT_EQ(b.report_after(milliseconds(300), 0.5), Sent{"cut 16 Clip 1/3 wird verarbeitet ..."});
  EXPECT_EQ(b.report_after(milliseconds(300), 1.0), Sent{"cut 32 Clip 1/3 wird verarbeitet ..."});
  b.bar->step(90, "Clips zusammenfügen ...", 100);
  EXPECT_EQ(b.report_after(milliseconds(300), 0.1), Sent{"cut 91 Clips zusammenfügen ..."});
  b.bar->step(95, "Clip 20/20 wird verarbeitet ...", 90);
  EXPECT_EQ(b.report_after(milliseconds(300), 0.5), Sent{}) << "a share that ends below it";
}
