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
  const std::pair<const char*, double> stated[] = {
      {R"({"format": {"filename": "a.mp4", "duration": "12.345000"}})", 12.345},
      {R"({"format": {"duration": 2.5}})", 2.5},
      // The format's duration counts over the streams'.
      {R"({"streams": [{"duration": "9.0"}], "format": {"duration": "3.0"}})", 3.0},
      // A container that states none: its streams' entries, or Matroska's DURATION tags.
      {R"({"streams": [{"codec_type": "video", "duration": "4.5"},
          {"codec_type": "audio", "duration": "4.52"}], "format": {"filename": "a.ts"}})",
       4.52},
      {R"({"streams": [{"codec_type": "video", "tags": {"DURATION": "00:01:05.523000000"}},
          {"codec_type": "audio", "tags": {"duration": "01:00:00.000000000"}}],
          "format": {"duration": "N/A"}})",
       3600.0},
  };
  for (const auto& [json, seconds] : stated) {
    const auto duration = duration_from_probe_json(json);
    ASSERT_TRUE(duration.has_value()) << json;
    EXPECT_DOUBLE_EQ(*duration, seconds) << json;
  }
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
      R"({"format": {"duration": "-1.0"}})",
      // A browser's WebM: neither the container nor the streams state a length.
      R"({"streams": [{"codec_type": "video", "tags": {"ENCODER": "Chrome"}},
          {"codec_type": "audio"}], "format": {"format_name": "matroska,webm"}})",
      R"({"streams": [{"tags": {"DURATION": "5.5"}}, {"tags": {"DURATION": "00:61:00.0"}},
          {"tags": {"DURATION": "x:00:01"}}]})",
  };
  for (const char* text : rejected)
    EXPECT_FALSE(duration_from_probe_json(text).has_value()) << text;
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
  EXPECT_TRUE(has_picture_in_probe_json(silent[0]));
  EXPECT_FALSE(has_picture_in_probe_json(R"({"streams": [{"codec_type": "audio"}]})"));
}

TEST(SoundChannelsInProbeJson, TheFirstSoundTrackCounts) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {R"({"streams": [{"codec_type": "video"}, {"codec_type": "audio", "channels": 1}]})", 1},
      {R"({"streams": [{"codec_type": "audio", "channels": 6},
          {"codec_type": "audio", "channels": 2}]})",
       6},
      {R"({"streams": [{"codec_type": "video"}, {"codec_type": "data"}]})", 0},
      {R"({"streams": []})", 0},
      // A probe that does not say is no statement about the sound.
      {R"({"format": {"duration": "3.0"}})", std::nullopt},
      {R"({"streams": [{"codec_type": "audio"}]})", std::nullopt},
      {R"({"streams": [{"codec_type": "audio", "channels": "2"}]})", std::nullopt},
      {R"({"streams": [{"codec_type": "audio", "channels": 0}]})", std::nullopt},
      {R"({"streams": [{"codec_type": "audio", "channels": 99999}]})", std::nullopt},
      {"{broken", std::nullopt},
  };
  for (const auto& [text, channels] : cases)
    EXPECT_EQ(sound_channels_in_probe_json(text), channels) << text;
}

TEST(TimecodeFromProbeJson, FindsTheTagWhereverTheContainerKeepsIt) {
  struct Case {
    const char* json;
    std::optional<long long> frame;  // of the start; nothing when unreadable
    int fps;
    bool drop_frame;
  };
  const Case cases[] = {
      // MP4 and MOV: on the video stream and on the tmcd track.
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "25/1", "avg_frame_rate": "25/1",
          "tags": {"timecode": "10:00:00:00"}}, {"codec_type": "audio", "tags": {}},
          {"codec_type": "data", "tags": {"timecode": "10:00:00:00"}}], "format": {}})",
       900000, 25, false},
      // Matroska: in the format's tags, upper case.
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "30000/1001", "tags": {}}],
          "format": {"tags": {"TIMECODE": "01:00:00;00"}}})",
       107892, 30, true},
      // A tmcd track alone.
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "24000/1001"},
          {"codec_type": "data", "tags": {"timecode": "00:00:01:00"}}]})",
       24, 24, false},
      // The video stream's own wins over the others.
      {R"({"streams": [{"codec_type": "data", "tags": {"timecode": "01:00:00:00"}},
          {"codec_type": "video", "r_frame_rate": "25/1", "tags": {"TimeCode": "00:00:02:00"}}],
          "format": {"tags": {"timecode": "02:00:00:00"}}})",
       50, 25, false},
      // A missing rate, or a container clock, gives way to the average.
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "0/0", "avg_frame_rate": "50/1",
          "tags": {"timecode": "00:00:01:00"}}]})",
       50, 50, false},
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "1000/1",
          "avg_frame_rate": "30000/1001", "tags": {"timecode": "00:00:01;00"}}]})",
       30, 30, true},
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "240/1", "avg_frame_rate": "240/1",
          "tags": {"timecode": "00:00:01:000"}}]})",
       240, 240, false},
      // Unreadable: the text, drop-frame at 25 fps, no rate at all, no video at all.
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "25/1",
          "tags": {"timecode": "10h00"}}]})",
       std::nullopt, 0, false},
      {R"({"streams": [{"codec_type": "video", "r_frame_rate": "25/1",
          "tags": {"timecode": "10:00:00;00"}}]})",
       std::nullopt, 0, false},
      {R"({"streams": [{"codec_type": "video", "tags": {"timecode": "10:00:00:00"}}]})",
       std::nullopt, 0, false},
      {R"({"streams": [{"codec_type": "audio"}], "format": {"tags": {"timecode": "10:00:00:00"}}})",
       std::nullopt, 0, false},
  };
  for (const Case& c : cases) {
    const auto timecode = timecode_from_probe_json(c.json);
    ASSERT_TRUE(timecode.has_value()) << c.json;
    ASSERT_EQ(timecode->start.has_value(), c.frame.has_value()) << c.json;
    if (!c.frame)
      continue;
    EXPECT_EQ(timecode->start->frame, *c.frame) << c.json;
    EXPECT_EQ(timecode_fps(timecode->start->rate), c.fps) << c.json;
    EXPECT_EQ(timecode->start->drop_frame, c.drop_frame) << c.json;
  }

  const auto late = timecode_from_probe_json(
      R"({"streams": [{"codec_type": "video", "r_frame_rate": "25/1", "start_time": "1.400000",
          "tags": {"timecode": "10:00:00:00"}}], "format": {"start_time": "1.000000"}})");
  ASSERT_TRUE(late.has_value());
  EXPECT_DOUBLE_EQ(late->first_frame_at, 0.4);

  for (const char* none : {
           R"({"streams": [{"codec_type": "video", "r_frame_rate": "25/1", "tags": {}}],
               "format": {"tags": {"encoder": "x"}}})",
           R"({"streams": [{"codec_type": "video", "tags": {"timecode": 36000}}]})",
           R"({"streams": [{"codec_type": "audio", "tags": {"timecode": "10:00:00:00"}}]})",
           R"({"format": {"tags": {"timecode": "10:00:00:00"}}})",
           "{broken",
       }) {
    EXPECT_FALSE(timecode_from_probe_json(none).has_value()) << none;
  }
}

TEST(PictureFromProbeJson, TheSizeIsTheOnePlayersShow) {
  struct Case {
    const char* json;
    int width;
    int height;
  };
  const Case cases[] = {
      {R"({"streams": [{"codec_type": "video", "width": 1920, "height": 1080,
          "sample_aspect_ratio": "1:1"}]})",
       1920, 1080},
      // Anamorphic: the stored 1440 columns are shown as 1920.
      {R"({"streams": [{"codec_type": "video", "width": 1440, "height": 1080,
          "sample_aspect_ratio": "4:3"}]})",
       1920, 1080},
      {R"({"streams": [{"codec_type": "video", "width": 720, "height": 576,
          "sample_aspect_ratio": "16:15"}]})",
       768, 576},
      // A phone's rotation matrix, in FFmpeg 5's side data and in the older tag.
      {R"({"streams": [{"codec_type": "video", "width": 1920, "height": 1080,
          "side_data_list": [{"rotation": -90}]}]})",
       1080, 1920},
      {R"({"streams": [{"codec_type": "video", "width": 1920, "height": 1080,
          "tags": {"rotate": "270"}}]})",
       1080, 1920},
      {R"({"streams": [{"codec_type": "video", "width": 1920, "height": 1080,
          "side_data_list": [{"rotation": 180}]}]})",
       1920, 1080},
      // Unknown aspect ratios count as square; the first video stream counts.
      {R"({"streams": [{"codec_type": "audio"}, {"codec_type": "video", "width": "640",
          "height": 480, "sample_aspect_ratio": "0:1"}, {"codec_type": "video", "width": 64,
          "height": 64}]})",
       640, 480},
  };
  for (const Case& c : cases) {
    const auto picture = picture_from_probe_json(c.json);
    ASSERT_TRUE(picture.has_value()) << c.json;
    EXPECT_EQ(picture->width, c.width) << c.json;
    EXPECT_EQ(picture->height, c.height) << c.json;
  }
  for (const char* none : {
           R"({"streams": [{"codec_type": "audio", "width": 640, "height": 480}]})",
           R"({"streams": [{"codec_type": "video", "width": 0, "height": 480}]})",
           R"({"streams": [{"codec_type": "video", "width": 640}]})",
           R"({"format": {"duration": "3.0"}})",
           "{broken",
       }) {
    EXPECT_FALSE(picture_from_probe_json(none).has_value()) << none;
  }
}

TEST(CutsFromProbeJson, ADamagedListPlacesNoEdit) {
  EXPECT_EQ(cuts_from_probe_json(R"({"format": {"tags": {"TAVELMOR_CUTS": "1.25,3.0,7.1234"}}})"),
            (std::vector<double>{1.25, 3.0, 7.1234}));
  EXPECT_EQ(cuts_from_probe_json(R"({"format": {"tags": {"tavelmor_cuts": "2.5"}}})"),
            (std::vector<double>{2.5}));
  for (const char* none : {
           R"({"format": {"tags": {"TAVELMOR_C_IN": "0.0"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": ""}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": "1.0,,2.0"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": "2.0,1.0"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": "1.0,1.0"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": "0.0,1.0"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": "1.0,abc"}}})",
           R"({"format": {"tags": {"TAVELMOR_CUTS": 1.5}}})",
           "{broken",
       }) {
    EXPECT_TRUE(cuts_from_probe_json(none).empty()) << none;
  }
}

TEST(PictureFromProbeJson, ColourCodingAndPixelShape) {
  const auto hlg = picture_from_probe_json(
      R"({"streams": [{"codec_type": "video", "width": 3840, "height": 2160,
          "color_transfer": "arib-std-b67", "color_primaries": "bt2020", "color_space": "bt2020nc",
          "color_range": "pc"}]})");
  ASSERT_TRUE(hlg.has_value());
  EXPECT_EQ(hlg->colour.transfer, Transfer::hlg);
  EXPECT_EQ(hlg->colour.primaries, "bt2020");
  EXPECT_EQ(hlg->colour.matrix, "bt2020nc");
  EXPECT_TRUE(hlg->colour.full_range);
  EXPECT_TRUE(hlg->square_pixels);
  const auto pq = picture_from_probe_json(
      R"({"streams": [{"codec_type": "video", "width": 1440, "height": 1080,
          "sample_aspect_ratio": "4:3", "color_transfer": "smpte2084"}]})");
  ASSERT_TRUE(pq.has_value());
  EXPECT_EQ(pq->colour.transfer, Transfer::pq);
  EXPECT_FALSE(pq->square_pixels);
}

TEST(SoundTrackCountInProbeJson, EveryAudioStreamCounts) {
  EXPECT_EQ(sound_track_count_in_probe_json(
                R"({"streams": [{"codec_type": "video"}, {"codec_type": "audio"},
                    {"codec_type": "data"}, {"codec_type": "audio"}]})"),
            2);
  EXPECT_EQ(sound_track_count_in_probe_json(R"({"streams": [{"codec_type": "video"}]})"), 0);
  EXPECT_EQ(sound_track_count_in_probe_json(R"({"format": {}})"), 0);
  EXPECT_EQ(sound_track_count_in_probe_json("{broken"), 0);
}
