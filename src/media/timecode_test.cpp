#include "media/timecode.h"

#include <gtest/gtest.h>

namespace {

const FrameRate PAL{25, 1};
const FrameRate NTSC{30000, 1001};
const FrameRate NTSC_60{60000, 1001};
const FrameRate FILM{24000, 1001};

// The text `frames` after `text`, read at `rate`; "invalid" when the text does not parse.
std::string later(const std::string& text, FrameRate rate, long long frames) {
  const auto timecode = parse_timecode(text, rate);
  return timecode ? timecode_text(add_frames(*timecode, frames)) : "invalid";
}

}  // namespace

TEST(FrameRateText, WholePartsOnly) {
  const std::pair<const char*, FrameRate> accepted[] = {
      {"30000/1001", NTSC}, {"25/1", PAL}, {"25", PAL}, {"60000/1001", NTSC_60}};
  for (const auto& [text, rate] : accepted) {
    const auto parsed = frame_rate_from_text(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(parsed->num, rate.num) << text;
    EXPECT_EQ(parsed->den, rate.den) << text;
  }
  for (const char* text : {"0/0", "", "/", "25/0", "-25/1", "25/-1", "abc", "25/1/2", "1e3",
                           "29.97", "30000/1001 ", "+25", "99999999999/1"}) {
    EXPECT_FALSE(frame_rate_from_text(text).has_value()) << text;
  }
  EXPECT_EQ(timecode_fps(NTSC), 30);
  EXPECT_EQ(timecode_fps(FILM), 24);
  EXPECT_EQ(timecode_fps(NTSC_60), 60);
  EXPECT_TRUE(is_ntsc_rate(FILM));
  EXPECT_FALSE(is_ntsc_rate(PAL));
  EXPECT_FALSE(is_ntsc_rate(FrameRate{50, 2}));
}

TEST(Timecode, NonDropFrameCountsEveryFrame) {
  const auto ten = parse_timecode("10:00:00:00", PAL);
  ASSERT_TRUE(ten.has_value());
  EXPECT_EQ(ten->frame, 900000);
  EXPECT_FALSE(ten->drop_frame);
  EXPECT_EQ(later("10:00:00:00", PAL, 75), "10:00:03:00");
  EXPECT_EQ(later("10:00:00:24", PAL, 1), "10:00:01:00");
  EXPECT_EQ(later("00:00:00:23", FILM, 1), "00:00:01:00");
  EXPECT_EQ(later("00:00:00:29", NTSC, 1), "00:00:01:00");
  EXPECT_EQ(later("00:00:59:59", FrameRate{60, 1}, 1), "00:01:00:00");
  // 24 hours wrap around, both ways.
  EXPECT_EQ(later("23:59:59:24", PAL, 1), "00:00:00:00");
  EXPECT_EQ(later("00:00:00:00", PAL, -1), "23:59:59:24");
  EXPECT_EQ(later("12:00:00:00", PAL, 24LL * 3600 * 25 * 3 + 25), "12:00:01:00");
}

TEST(Timecode, DropFrameSkipsTwoNumbersAMinuteButEveryTenth) {
  EXPECT_EQ(later("00:00:59;29", NTSC, 1), "00:01:00;02");
  EXPECT_EQ(later("00:01:59;29", NTSC, 1), "00:02:00;02");
  EXPECT_EQ(later("00:09:59;29", NTSC, 1), "00:10:00;00");
  EXPECT_EQ(later("00:00:00;00", NTSC, 17982), "00:10:00;00");
  EXPECT_EQ(later("00:00:58;00", NTSC, 91), "00:01:01;03");
  const auto hour = parse_timecode("01:00:00;00", NTSC);
  ASSERT_TRUE(hour.has_value());
  EXPECT_EQ(hour->frame, 107892);  // an hour of 29.97 fps runs 107892 frames
  EXPECT_TRUE(hour->drop_frame);
  EXPECT_EQ(parse_timecode("00:01:00;02", NTSC)->frame, 1800);
  EXPECT_EQ(later("23:59:59;29", NTSC, 1), "00:00:00;00");
  EXPECT_EQ(later("00:00:00;00", NTSC, -1), "23:59:59;29");
  // Other drop-frame marks read the same; the text written is always ";".
  EXPECT_EQ(later("00:00:59,29", NTSC, 1), "00:01:00;02");
  EXPECT_EQ(later("00:00:59.29", NTSC, 1), "00:01:00;02");

  // 59.94 skips four numbers.
  EXPECT_EQ(later("00:00:59;59", NTSC_60, 1), "00:01:00;04");
  EXPECT_EQ(later("00:09:59;59", NTSC_60, 1), "00:10:00;00");
  EXPECT_EQ(parse_timecode("01:00:00;00", NTSC_60)->frame, 215784);

  // The skipped numbers themselves are no timecode.
  for (const char* skipped : {"00:01:00;00", "00:01:00;01", "10:59:00;01"})
    EXPECT_FALSE(parse_timecode(skipped, NTSC).has_value()) << skipped;
  EXPECT_FALSE(parse_timecode("00:01:00;03", NTSC_60).has_value());
  EXPECT_TRUE(parse_timecode("00:10:00;00", NTSC).has_value());
  EXPECT_TRUE(parse_timecode("00:01:01;00", NTSC).has_value());
}

TEST(Timecode, ReadsOnlyWhatItSays) {
  const std::pair<const char*, FrameRate> rejected[] = {
      {"10:00:00", PAL},     {"10:00:00:25", PAL},  {"24:00:00:00", PAL},   {"1:00:00:00", PAL},
      {"10-00-00-00", PAL},  {"10:60:00:00", PAL},  {"10:00:60:00", PAL},   {"10:00:00:0", PAL},
      {" 10:00:00:00", PAL}, {"10:00:00:00 ", PAL}, {"-1:00:00:00", PAL},   {"10:00:00:+1", PAL},
      {"10:00:00:-1", PAL},  {"1O:00:00:00", PAL},  {"10:00:00:1000", PAL}, {"", PAL},
      {"10:00:00;00", PAL},  {"10:00:00;00", FILM}, {"10:00:00:00", {}},    {"10:00:00:00", {1, 3}},
      {"10:00:00/00", NTSC},
  };
  for (const auto& [text, rate] : rejected) {
    EXPECT_FALSE(parse_timecode(text, rate).has_value())
        << text << " at " << rate.num << "/" << rate.den;
  }
  // Three digits of frames for rates of 100 and more.
  EXPECT_EQ(later("00:00:00:119", FrameRate{120, 1}, 1), "00:00:01:00");
}

TEST(Timecode, TheSameClockTimeAtAnotherRate) {
  const auto at_60 = [](const std::string& text, FrameRate rate) {
    return timecode_text(timecode_at_rate(*parse_timecode(text, rate), FrameRate{60, 1}));
  };
  EXPECT_EQ(at_60("10:00:03:12", PAL), "10:00:03:29");  // 28.8 frames
  EXPECT_EQ(at_60("10:00:03:00", PAL), "10:00:03:00");
  EXPECT_EQ(at_60("01:00:00;00", NTSC), "01:00:00:00");
  EXPECT_EQ(at_60("00:01:00;02", NTSC), "00:01:00:04");
  EXPECT_EQ(at_60("00:00:00:23", FILM), "00:00:00:58");  // 57.5
  // Rounding up to a whole second carries into it.
  const Timecode late = timecode_at_rate(*parse_timecode("00:00:59:59", FrameRate{60, 1}), PAL);
  EXPECT_EQ(timecode_text(late), "00:01:00:00");
  EXPECT_FALSE(late.drop_frame);
}

TEST(Timecode, TheFirstFrameACutKeeps) {
  // Measured with FFmpeg 5.1 on 25 fps MP4: a start 10 us past a frame keeps it, 100 us past
  // keeps the next one.
  EXPECT_EQ(first_frame_at(3.0, PAL), 75);
  EXPECT_EQ(first_frame_at(3.00001, PAL), 75);
  EXPECT_EQ(first_frame_at(3.0001, PAL), 76);
  EXPECT_EQ(first_frame_at(3.008, PAL), 76);  // not the nearest frame, 75
  EXPECT_EQ(first_frame_at(3.039, PAL), 76);
  EXPECT_EQ(first_frame_at(2.9999, PAL), 75);
  EXPECT_EQ(first_frame_at(2.96, PAL), 74);
  EXPECT_EQ(first_frame_at(3.0, NTSC), 90);  // 89.91
  EXPECT_EQ(first_frame_at(1.0, FILM), 24);  // 23.976
  EXPECT_EQ(first_frame_at(1.0, NTSC_60), 60);
  EXPECT_EQ(first_frame_at(0.0, PAL), 0);
  EXPECT_EQ(first_frame_at(-0.5, PAL), 0);
  EXPECT_EQ(first_frame_at(0.00001, PAL), 0);
}
