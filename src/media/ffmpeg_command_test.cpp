#include "media/ffmpeg_command.h"

#include <gtest/gtest.h>

#include "settings/json_text.h"
#include "support/test_util.h"

namespace {

// The first stream of `kind` in ffprobe's JSON of `file`.
Json stream_of(const fs::path& file, const std::string& kind) {
  const Json probed = parse_json(probe_json(file));
  for (const Json& stream : probed.at("streams")) {
    if (stream.value("codec_type", std::string()) == kind)
      return stream;
  }
  return Json();
}

}  // namespace

// A 3:2 picture of non-square pixels in 4:4:4 goes into a portrait frame in either form.
TEST(FfmpegCommandMedia, EachFormFitsThePictureIntoTheFrameAsAsked) {
  ScopedTempDir scratch;
  const FrameSize frame{64, 112};
  const auto encode = [&](const std::string& name, FitFinish finish, H264Form form) {
    std::vector<std::string> args = {
        "-f", "lavfi", "-i",  "testsrc2=size=96x64:rate=30,setsar=2,format=yuv444p",
        "-f", "lavfi", "-i",  "sine=frequency=440:sample_rate=48000",
        "-t", "0.5",   "-vf", fit_to_frame_filter(frame, finish)};
    append_args(args, h264_args(form));
    append_args(args, aac_args());
    args.push_back((scratch / name).string());
    run_ffmpeg(args);
    return scratch / name;
  };

  const fs::path square = encode("square.mp4", FitFinish::square_yuv420p, H264Form::high_yuv420p);
  const Json picture = stream_of(square, "video");
  EXPECT_EQ(picture.value("codec_name", ""), "h264");
  EXPECT_EQ(picture.value("width", 0), 64);
  EXPECT_EQ(picture.value("height", 0), 112);
  EXPECT_EQ(picture.value("profile", ""), "High");
  EXPECT_EQ(picture.value("pix_fmt", ""), "yuv420p");
  EXPECT_EQ(picture.value("sample_aspect_ratio", ""), "1:1");
  EXPECT_EQ(stream_of(square, "audio").value("codec_name", ""), "aac");

  // The encoder's own choice keeps what the picture brings.
  const fs::path own = encode("own.mp4", FitFinish::none, H264Form::encoder_choice);
  const Json kept = stream_of(own, "video");
  EXPECT_EQ(kept.value("width", 0), 64);
  EXPECT_EQ(kept.value("height", 0), 112);
  EXPECT_EQ(kept.value("pix_fmt", ""), "yuv444p");
  EXPECT_NE(kept.value("sample_aspect_ratio", ""), "1:1");
}
