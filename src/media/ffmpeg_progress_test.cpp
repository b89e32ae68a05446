#include "media/ffmpeg_progress.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProgressOutSeconds, TakesTheLastBlocksOutputTime) {
  const std::string two_blocks =
      "frame=0\nout_time_us=2500000\nout_time_ms=2500000\nout_time=00:00:02.500000\n"
      "progress=continue\r\nout_time_us=9810667\nout_time_ms=9810667\nprogress=end\n";
  EXPECT_EQ(progress_out_seconds(two_blocks), 9.810667);
  // An FFmpeg that writes only out_time_ms, in microseconds despite its name.
  EXPECT_EQ(progress_out_seconds("out_time_ms=1500000\nprogress=end"), 1.5);
  EXPECT_EQ(progress_out_seconds("out_time_us=0\nout_time_ms=0\nprogress=end\n"), 0.0);
}

TEST(ProgressOutSeconds, NothingWithoutAWholeNumber) {
  const char* unusable[] = {
      "",
      "progress=end\n",
      "out_time_us=N/A\nout_time_ms=N/A\nprogress=end\n",
      // The last block counts, not an earlier one.
      "out_time_us=1000\nprogress=continue\nout_time_us=N/A\nprogress=end\n",
      "out_time_us=12x\n",
      "out_time_us=\n",
      "xout_time_us=5\n",
      "out_time_us 5\n",
  };
  for (const char* text : unusable)
    EXPECT_FALSE(progress_out_seconds(text).has_value()) << text;
}

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
