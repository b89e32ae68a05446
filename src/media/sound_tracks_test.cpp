#include "media/sound_tracks.h"

#include <gtest/gtest.h>

// FFmpeg's report of a run that measured three tracks: each instance prints under its own name,
// the earlier graph that FFmpeg sets up and drops prints no level, and digital silence is -inf.
TEST(SoundTracks, EachTrackHasItsOwnLevelAndTheLoudestCarriesTheSpeech) {
  const std::string report =
      "[volumedetect@level_0 @ 0x55a1] n_samples: 0\n"
      "[volumedetect@level_1 @ 0x55a2] n_samples: 0\n"
      "size=N/A time=00:00:04.60 bitrate=N/A speed= 100x\r"
      "[volumedetect@level_0 @ 0x55b1] n_samples: 441600\n"
      "[volumedetect@level_0 @ 0x55b1] mean_volume: -61.1 dB\n"
      "[volumedetect@level_0 @ 0x55b1] max_volume: -57.4 dB\n"
      "[volumedetect@level_2 @ 0x55b3] mean_volume: -inf dB\n"
      "[volumedetect@level_1 @ 0x55b2] mean_volume: -22.9 dB\r\n"
      "[volumedetect@level_1 @ 0x55b2] max_volume: -18.1 dB\n"
      "[volumedetect@level_12 @ 0x55b4] mean_volume: -1.0 dB\n";
  const auto levels = track_levels_from_report(report, 3);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0], -61.1);
  EXPECT_EQ(levels[1], -22.9);
  EXPECT_EQ(levels[2], std::nullopt);
  EXPECT_EQ(loudest_track(levels), 1u);

  EXPECT_EQ(loudest_track({std::nullopt, -30.0, -30.0}), 1u);  // the first of equals
  EXPECT_EQ(loudest_track({std::nullopt, std::nullopt}), 0u);
  EXPECT_EQ(loudest_track({}), 0u);
}
