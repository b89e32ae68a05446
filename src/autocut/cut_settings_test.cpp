#include "autocut/cut_settings.h"

#include <gtest/gtest.h>

namespace {

Json eight() {
  return Json{{"output_folder", "/out"},
              {"silence_threshold", "-35dB"},
              {"silence_duration", 0.5},
              {"suffix", "_cut"},
              {"trim_silence", true},
              {"trim_padding", 3.0},
              {"resolution", "Querformat 1920x1080"},
              {"add_padding", 0.0}};
}

}  // namespace

// The keys after the eight mean their defaults when absent and when null, and what they say
// otherwise: false and 0 are values, not absences.
TEST(CutSettings, TheAddedKeysMeanTheirDefaultsUntilSet) {
  const CutSettings plain = cut_settings_from(eight());
  EXPECT_EQ(plain.frame.width, 1920);
  EXPECT_FALSE(plain.cut_pauses);
  EXPECT_EQ(plain.pause_min, 0.5);
  EXPECT_EQ(plain.pause_keep, 0.15);
  EXPECT_FALSE(plain.loudness_target.has_value());

  Json nulls = eight();
  for (const char* key : {"cut_pauses", "pause_min", "pause_keep", "loudness_target"})
    nulls[key] = nullptr;
  const CutSettings from_nulls = cut_settings_from(nulls);
  EXPECT_FALSE(from_nulls.cut_pauses);
  EXPECT_EQ(from_nulls.pause_min, 0.5);
  EXPECT_FALSE(from_nulls.loudness_target.has_value());

  Json set = eight();
  set["cut_pauses"] = true;
  set["pause_min"] = 2;
  set["pause_keep"] = 0;
  set["loudness_target"] = 0;
  const CutSettings chosen = cut_settings_from(set);
  EXPECT_TRUE(chosen.cut_pauses);
  EXPECT_EQ(chosen.pause_min, 2.0);
  EXPECT_EQ(chosen.pause_keep, 0.0);
  EXPECT_EQ(chosen.loudness_target, 0.0);
}
