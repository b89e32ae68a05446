#include "media/run_progress.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_util.h"

TEST(OutTimeShare, OnlyARisingTimeCounts) {
  OutTimeShare share(4.0);
  EXPECT_EQ(share.read("out_time_us=N/A"), std::nullopt);
  EXPECT_EQ(share.read("out_time_us=-23000"), std::nullopt);
  EXPECT_EQ(share.read("out_time_us=1000000"), 0.25);
  EXPECT_EQ(share.read("out_time_ms=3000000"), std::nullopt) << "the same time in another key";
  EXPECT_EQ(share.read("out_time=00:00:03.000000"), std::nullopt);
  EXPECT_EQ(share.read("out_time_us=1000000"), std::nullopt) << "no rise";
  EXPECT_EQ(share.read("out_time_us=900000"), std::nullopt) << "no fall";
  EXPECT_EQ(share.read("out_time_us=3000000x"), std::nullopt);
  EXPECT_EQ(share.read(" out_time_us=3000000"), std::nullopt);
  EXPECT_EQ(share.read("out_time_us=3000000"), 0.75);
  // The encoder may run a little past the span it was asked for.
  EXPECT_EQ(share.read("out_time_us=4100000"), 1.0);
  EXPECT_EQ(share.read("out_time_us=4200000"), std::nullopt);
  EXPECT_EQ(OutTimeShare(0.0).read("out_time_us=1"), std::nullopt) << "no span, no share";
}

TEST(RunProgressMedia, AnEncodeReportsRisingSharesUpToItsEnd) {
  ScopedTempDir scratch;
  std::vector<double> shares;
  const ProcessResult run = run_ffmpeg_with_progress(
      {"ffmpeg", "-nostdin", "-stats_period", "0.1", "-f", "lavfi", "-i",
       "testsrc=size=640x360:rate=30", "-t", "3", "-c:v", "libx264", "-preset", "slow",
       (scratch / "out.mp4").string()},
      3.0, [&](double done) { shares.push_back(done); }, 60, OutputDecoding::replace_invalid);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(shares.size(), 2u) << "a report while the run went on, and its end";
  EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
  EXPECT_LT(shares.front(), 1.0);
  EXPECT_GT(shares.back(), 0.9);
}
