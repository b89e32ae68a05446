#include "media/ffmpeg_command.h"

#include <gtest/gtest.h>

#include "settings/json_text.h"
#include "settings/path_text.h"
#include "support/device_media.h"
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

// Anamorphic pixels (4:3 pixels of a 4:3 frame, shown 16:9) are fitted as they are shown, in
// either form, and leave square pixels.
TEST(FfmpegCommandMedia, AnAnamorphicPictureIsFittedAsItIsShown) {
  ScopedTempDir scratch;
  make_anamorphic_recording(scratch / "wide.mkv", 0.2);
  PictureFit fit;
  fit.anamorphic = true;
  for (const FitFinish finish : {FitFinish::square_yuv420p, FitFinish::none}) {
    run_ffmpeg({"-i", path_to_utf8(scratch / "wide.mkv"), "-vf",
                fit_to_frame_filter({64, 112}, finish, fit), path_to_utf8(scratch / "out.mp4")});
    EXPECT_EQ(content_box(scratch / "out.mp4"), "64x36");
    EXPECT_EQ(stream_of(scratch / "out.mp4", "video").value("sample_aspect_ratio", ""), "1:1");
  }
}

// Whatever this FFmpeg offers, an HLG or PQ picture comes out as 8-bit BT.709 that says so; the
// two conversions through zscale put a grey where a BT.709 camera would have put it. The others
// only approximate the curve, but never leave a file that claims HDR.
TEST(FfmpegCommandMedia, EveryConversionGivesBt709AndTheZscaleOnesItsGrey) {
  ScopedTempDir scratch;
  for (const char* transfer : {"arib-std-b67", "smpte2084"}) {
    const fs::path source = scratch / (std::string(transfer) + ".mkv");
    make_hdr_recording(source, transfer, 0.2, 0);
    const auto picture = get_duration_and_handles(path_to_utf8(source)).picture;
    ASSERT_TRUE(picture.has_value());
    for (const SdrConversion conversion :
         {SdrConversion::tone_mapped, SdrConversion::clipped, SdrConversion::approximated,
          SdrConversion::matrix_only}) {
      SCOPED_TRACE(std::string(transfer) + " by " + std::to_string(static_cast<int>(conversion)));
      const PictureFit fit = picture_fit(picture, [conversion] { return conversion; });
      const fs::path out = scratch / "sdr.mp4";
      std::vector<std::string> args = {"-i", path_to_utf8(source), "-vf",
                                       fit_to_frame_filter({64, 112}, FitFinish::none, fit)};
      append_args(args, h264_args(H264Form::encoder_choice));
      append_args(args, colour_tag_args(fit));
      args.push_back(path_to_utf8(out));
      run_ffmpeg(args);
      const Json video = stream_of(out, "video");
      EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p");
      EXPECT_EQ(video.value("color_primaries", ""), "bt709");
      EXPECT_EQ(video.value("color_transfer", ""), "bt709");
      EXPECT_EQ(video.value("color_space", ""), "bt709");
      if (conversion == SdrConversion::tone_mapped || conversion == SdrConversion::clipped) {
        EXPECT_NEAR(centre_luma(out), TEST_GREY_LUMA, 3.0);
      }
    }
  }
}
