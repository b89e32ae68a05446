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

// Each added number is held to its own range, and a refusal names the key and the value.
TEST(CutSettings, AnAddedNumberOutsideItsRangeIsRefused) {
  const Json cfg = {{"output_folder", "/out"},
                    {"silence_threshold", "-35dB"},
                    {"silence_duration", 0.5},
                    {"suffix", "_cut"},
                    {"resolution", "Querformat 1920x1080"}};
  const struct {
    const char* key;
    Json value;
    const char* message;
  } refused[] = {
      {"pause_min", 0.01, "Ungültiger Wert für pause_min: 0.01"},
      {"pause_keep", -0.5, "Ungültiger Wert für pause_keep: -0.5"},
      {"pause_keep", "0.2", "Ungültiger Wert für pause_keep: 0.2"},
      {"loudness_target", -71, "Ungültiger Wert für loudness_target: -71"},
      {"loudness_target", 1, "Ungültiger Wert für loudness_target: 1"},
  };
  for (const auto& entry : refused) {
    Json with = cfg;
    with[entry.key] = entry.value;
    try {
      cut_settings_from(with);
      ADD_FAILURE() << entry.key << " " << entry.value.dump();
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), entry.message);
    }
  }
  Json within = cfg;
  within.update(Json{{"pause_min", 2.0}, {"pause_keep", 0.0}, {"loudness_target", -70}});
  EXPECT_EQ(cut_settings_from(within).pause_min, 2.0);
}
