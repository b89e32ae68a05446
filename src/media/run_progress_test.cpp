#include "media/run_progress.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_util.h"

TEST(RunProgressMedia, AnEncodeReportsRisingSharesUpToItsEnd) {
  ScopedTempDir scratch;
  std::vector<double> shares;
  const ProcessResult run =
      run_ffmpeg_with_progress({"ffmpeg", "-nostdin", "-stats_period", "0.1", "-f", "lavfi", "-i",
                                "testsrc=size=640x360:rate=30", "-t", "3", "-c:v", "libx264",
                                "-preset", "slow", (scratch / "out.mp4").string()},
                               3.0, [&](double done) { shares.push_back(done); });
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(shares.size(), 2u) << "a report while the run went on, and its end";
  EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
  EXPECT_LT(shares.front(), 1.0);
  EXPECT_GT(shares.back(), 0.9);
}
