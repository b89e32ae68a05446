#include "media/probe_json.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(NumberFromText, ReadsDecimalTextTheWayFfprobeWritesIt) {
  const std::pair<const char*, double> accepted[] = {
      {"12.345000", 12.345}, {"0", 0.0},      {" 2.5\n", 2.5}, {"+1.5", 1.5},
      {"-0.02", -0.02},      {"1e3", 1000.0}, {".5", 0.5},     {"3.", 3.0},
  };
  for (const auto& [text, value] : accepted) {
    const auto number = number_from_text(text);
    ASSERT_TRUE(number.has_value()) << text;
    EXPECT_DOUBLE_EQ(*number, value) << text;
  }
  const char* rejected[] = {"",    " ",   ".",   "1.2.3", "abc",   "12abc",
                            "+-1", "++1", "nan", "inf",   "1e999", "N/A"};
  for (const char* text : rejected)
    EXPECT_FALSE(number_from_text(text).has_value()) << text;
}

TEST(DurationFromProbeJson, TakesFormatDuration) {
  EXPECT_DOUBLE_EQ(duration_from_probe_json(R"({"format": {"filename": "a.mp4", "duration":
      "12.345000"}})"),
                   12.345);
  EXPECT_DOUBLE_EQ(duration_from_probe_json(R"({"format": {"duration": 2.5}})"), 2.5);
}

TEST(DurationFromProbeJson, FailsRatherThanGuess) {
  const char* rejected[] = {
      "",
      "not json",
      "[]",
      "{}",
      R"({"format": []})",
      R"({"format": {"filename": "a.mp4"}})",  // no duration: never 0
      R"({"format": {"duration": "N/A"}})",
      R"({"format": {"duration": null}})",
      R"({"format": {"duration": true}})",
  };
  for (const char* text : rejected)
    EXPECT_THROW(duration_from_probe_json(text), std::exception) << text;
}

TEST(HandlesFromProbeJson, ReadsTheTagPair) {
  const auto handles = handles_from_probe_json(
      R"({"format": {"tags": {"TAVELMOR_C_IN": "0.0", "TAVELMOR_C_OUT": "12.3457"}}})");
  ASSERT_TRUE(handles.has_value());
  EXPECT_EQ(handles->c_in, 0.0);
  EXPECT_EQ(handles->c_out, 12.3457);
}

TEST(HandlesFromProbeJson, LowerCaseNamesAndEmptyUpperCaseValuesFallBack) {
  const auto lower = handles_from_probe_json(
      R"({"format": {"tags": {"tavelmor_c_in": "1.5", "tavelmor_c_out": "4.0"}}})");
  ASSERT_TRUE(lower.has_value());
  EXPECT_EQ(lower->c_in, 1.5);
  EXPECT_EQ(lower->c_out, 4.0);

  const auto fallback = handles_from_probe_json(
      R"({"format": {"tags": {"TAVELMOR_C_IN": "", "tavelmor_c_in": "0.5",
          "TAVELMOR_C_OUT": "3.0", "tavelmor_c_out": "9.0"}}})");
  ASSERT_TRUE(fallback.has_value());
  EXPECT_EQ(fallback->c_in, 0.5);
  EXPECT_EQ(fallback->c_out, 3.0);  // a non-empty upper-case tag wins
}

TEST(HandlesFromProbeJson, AnythingUnusableGivesNoHandles) {
  const char* unusable[] = {
      "",
      "{broken",
      "[]",
      "{}",
      R"({"format": {}})",
      R"({"format": "text"})",
      R"({"format": {"tags": []}})",
      R"({"format": {"tags": {"TAVELMOR_C_IN": "0.0"}}})",  // only one of the two
      R"({"format": {"tags": {"TAVELMOR_C_OUT": "3.0"}}})",
      R"({"format": {"tags": {"TAVELMOR_C_IN": "", "TAVELMOR_C_OUT": "3.0"}}})",
      R"({"format": {"tags": {"TAVELMOR_C_IN": "abc", "TAVELMOR_C_OUT": "3.0"}}})",
      R"({"format": {"tags": {"TAVELMOR_C_IN": "0.0", "TAVELMOR_C_OUT": null}}})",
      R"({"format": {"tags": {"TAVELMOR_C_IN": "0.0", "TAVELMOR_C_OUT": {}}}})",
  };
  for (const char* text : unusable)
    EXPECT_FALSE(handles_from_probe_json(text).has_value()) << text;
}

TEST(HasSoundTrackInProbeJson, AnyAudioStreamCounts) {
  EXPECT_TRUE(has_sound_track_in_probe_json(
      R"({"streams": [{"codec_type": "video"}, {"codec_type": "audio"}], "format": {}})"));
  EXPECT_TRUE(has_sound_track_in_probe_json(R"({"streams": [{"codec_type": "audio"}]})"));
  const char* silent[] = {
      R"({"streams": [{"codec_type": "video"}, {"codec_type": "data"}]})",
      R"({"streams": [], "format": {"duration": "3.0"}})",
      R"({"format": {"duration": "3.0"}})",
      R"({"streams": {"codec_type": "audio"}})",
      R"({"streams": ["audio", {"codec_type": 1}]})",
      "[]",
      "{broken",
  };
  for (const char* text : silent)
    EXPECT_FALSE(has_sound_track_in_probe_json(text)) << text;
}
