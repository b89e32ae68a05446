#include "media/loudness.h"

#include <gtest/gtest.h>

// The summary FFmpeg's meter prints last; the frame lines before it carry running values.
TEST(IntegratedLoudnessInReport, TheSummaryCountsAndSilenceMeasuresNothing) {
  const std::string frames =
      "[Parsed_ebur128_2 @ 0x5] t: 0.4 TARGET:-23 LUFS M: -31.0 S:-120.7 I: -31.0 LUFS\n";
  const std::string summary =
      "[Parsed_ebur128_2 @ 0x5] Summary:\n\n  Integrated loudness:\n    I:         -22.7 LUFS\n"
      "    Threshold: -32.9 LUFS\n\n  Loudness range:\n    LRA:         1.9 LU\n";
  EXPECT_EQ(integrated_loudness_in_report(frames + summary), -22.7);
  const std::pair<const char*, std::string> nothing[] = {
      {"no summary", frames},
      {"the meter's floor: silence, or less than a block",
       "  Integrated loudness:\n    I:         -70.0 LUFS\n    Threshold:   0.0 LUFS\n"},
      {"no number", "  Integrated loudness:\n    I:         nan LUFS\n"},
  };
  for (const auto& [what, report] : nothing)
    EXPECT_FALSE(integrated_loudness_in_report(report).has_value()) << what;
}

TEST(LoudnessGain, SilenceIsNeverAmplified) {
  EXPECT_FALSE(loudness_gain(std::nullopt, -14.0).has_value());
  EXPECT_EQ(loudness_message(-9.0, -14.0), "Lautheit: -9.0 LUFS, Ziel -14.0 LUFS (-5.0 dB)");
}
