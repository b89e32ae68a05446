#include "autocut/cut_settings.h"

#include <gtest/gtest.h>

// The keys after the eight mean their defaults when absent and when null, and what they say
// otherwise: false and 0 are values, not absences.
TEST(CutSettings, TheAddedKeysMeanTheirDefaultsUntilSet) {
  Json cfg = {{"output_folder", "/out"},
              {"silence_threshold", "-35dB"},
              {"silence_duration", 0.5},
              {"suffix", "_cut"},
              {"resolution", "Querformat 1920x1080"}};
  Json nulls = cfg;
  for (const char* key : {"cut_pauses", "pause_min", "pause_keep", "loudness_target"})
    nulls[key] = nullptr;
  for (const Json& unset : {cfg, nulls}) {
    const CutSettings settings = cut_settings_from(unset);
    EXPECT_FALSE(settings.cut_pauses);
    EXPECT_EQ(settings.pause_min, 0.5);
    EXPECT_EQ(settings.pause_keep, 0.15);
    EXPECT_FALSE(settings.loudness_target.has_value());
  }
  cfg.update(Json{{"cut_pauses", false}, {"pause_keep", 0}, {"loudness_target", 0}});
  const CutSettings chosen = cut_settings_from(cfg);
  EXPECT_FALSE(chosen.cut_pauses);
  EXPECT_EQ(chosen.pause_keep, 0.0);
  EXPECT_EQ(chosen.loudness_target, 0.0);
}
