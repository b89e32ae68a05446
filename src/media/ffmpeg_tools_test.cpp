#include "media/ffmpeg_tools.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/test_util.h"

#ifndef _WIN32

TEST(FfmpegTools, WithoutTheProgramsNothingIsPretended) {
  ScopedStandIns nothing(true);
  EXPECT_FALSE(check_ffmpeg());
  EXPECT_FALSE(get_handles("/tmp/clip.mp4").has_value());
  EXPECT_THROW(get_duration("/tmp/clip.mp4"), std::runtime_error);
}

TEST(FfmpegTools, CheckFfmpegWantsExitCodeZero) {
  ScopedStandIns stand_ins(true);
  stand_ins.add("ffmpeg", "exit 1");
  EXPECT_FALSE(check_ffmpeg());
  stand_ins.add("ffmpeg", "echo 'ffmpeg version 5.1'");
  EXPECT_TRUE(check_ffmpeg());
}

TEST(FfmpegTools, AFailedProbeQuotesTheFileNameAndTheLast500Characters) {
  ScopedStandIns stand_ins(true);
  const std::string noise(700, 'y');
  write_text_file(stand_ins.folder() / "err.txt", "START" + noise + "Fehler am Ende");
  stand_ins.add("ffprobe",
                "/bin/cat '" + (stand_ins.folder() / "err.txt").string() + "' >&2\nexit 1");
  try {
    get_duration("/Aufnahmen/Übung \"1\".mov");
    FAIL() << "no failure";
  } catch (const std::runtime_error& failure) {
    const std::string tail = noise.substr(noise.size() - (500 - 14)) + "Fehler am Ende";
    EXPECT_EQ(failure.what(),
              "ffprobe konnte die Videolänge nicht lesen: Übung \"1\".mov\n" + tail);
  }
  EXPECT_FALSE(get_handles("/Aufnahmen/Übung \"1\".mov").has_value());
}

TEST(FfmpegTools, EmptyOutputOrAMissingDurationFails) {
  ScopedStandIns stand_ins(true);
  stand_ins.add("ffprobe", "echo '   '");
  try {
    get_duration("a/b.mkv");
    FAIL() << "no failure";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "ffprobe konnte die Videolänge nicht lesen: b.mkv\n");
  }
  stand_ins.add("ffprobe", "echo '{\"format\": {\"filename\": \"b.mkv\"}}'");
  EXPECT_THROW(get_duration("a/b.mkv"), std::runtime_error);
}

TEST(FfmpegTools, AwkwardPathsReachFfprobeAsOneArgument) {
  ScopedStandIns stand_ins(true);
  const fs::path seen = stand_ins.folder() / "seen.txt";
  stand_ins.add("ffprobe", "printf '%s|' \"$@\" > '" + seen.string() +
                               "'\n"
                               "echo '{\"format\": {\"duration\": \"7.5\", \"tags\": "
                               "{\"TAVELMOR_C_IN\": \"0.0\", \"TAVELMOR_C_OUT\": \"7.25\"}}}'");
  const std::string path = "/A B/it's \"Grüße\" $x `y`.mp4";
  const std::string expected = "-v|quiet|-print_format|json|-show_format|" + path + "|";
  EXPECT_DOUBLE_EQ(get_duration(path), 7.5);
  EXPECT_EQ(read_text_file(seen), expected);
  const auto handles = get_handles(path);
  ASSERT_TRUE(handles.has_value());
  EXPECT_EQ(handles->c_out, 7.25);
  EXPECT_EQ(read_text_file(seen), expected);
}

TEST(FfmpegTools, DurationAndHandlesComeFromOneProbe) {
  ScopedStandIns stand_ins(true);
  const fs::path runs = stand_ins.folder() / "runs.txt";
  const fs::path answer = stand_ins.folder() / "answer.json";
  stand_ins.add("ffprobe",
                "echo run >> '" + runs.string() + "'\n/bin/cat '" + answer.string() + "'");
  struct Case {
    const char* json;
    double duration;
    std::optional<std::pair<double, double>> handles;
  };
  const Case cases[] = {
      {R"({"format": {"duration": "7.5", "tags": {"TAVELMOR_C_IN": "0.0",
        "TAVELMOR_C_OUT": "7.25"}}})",
       7.5, std::make_pair(0.0, 7.25)},
      {R"({"format": {"duration": "3.0", "tags": {"TAVELMOR_C_IN": "",
        "tavelmor_c_in": "0.5", "tavelmor_c_out": "2.5"}}})",
       3.0, std::make_pair(0.5, 2.5)},
      {R"({"format": {"duration": "3.0", "tags": {"TAVELMOR_C_IN": "0.0"}}})", 3.0, std::nullopt},
      {R"({"format": {"duration": "3.0", "tags": {"TAVELMOR_C_IN": "0.0",
        "TAVELMOR_C_OUT": "abc"}}})",
       3.0, std::nullopt},
      {R"({"format": {"duration": "3.0", "tags": []}})", 3.0, std::nullopt},
  };
  for (const Case& c : cases) {
    write_text_file(answer, c.json);
    fs::remove(runs);
    const ClipFacts facts = get_duration_and_handles("/clips/a.mp4");
    EXPECT_EQ(read_text_file(runs), "run\n") << c.json;
    EXPECT_EQ(facts.duration, c.duration) << c.json;
    const auto handles = get_handles("/clips/a.mp4");
    ASSERT_EQ(facts.handles.has_value(), c.handles.has_value()) << c.json;
    ASSERT_EQ(handles.has_value(), c.handles.has_value()) << c.json;
    if (c.handles) {
      EXPECT_EQ(facts.handles->c_in, c.handles->first) << c.json;
      EXPECT_EQ(facts.handles->c_out, c.handles->second) << c.json;
      EXPECT_EQ(handles->c_out, c.handles->second) << c.json;
    }
  }

  // Failures are those of get_duration, whatever tags the text might hold.
  for (const std::string& json : {std::string("   "), std::string(R"({"format": {"tags": {}}})")}) {
    write_text_file(answer, json);
    std::string combined;
    std::string alone;
    try {
      get_duration_and_handles("/clips/b.mkv");
    } catch (const std::runtime_error& failure) {
      combined = failure.what();
    }
    try {
      get_duration("/clips/b.mkv");
    } catch (const std::runtime_error& failure) {
      alone = failure.what();
    }
    EXPECT_FALSE(combined.empty()) << json;
    EXPECT_EQ(combined, alone) << json;
  }
}

TEST(FfmpegToolsMedia, ReadsRealDurationsAndTags) {
  ScopedTempDir scratch;
  EXPECT_TRUE(check_ffmpeg());
  const fs::path tone = scratch / "Ton mit ö.wav";
  make_recording(tone, {1.5}, true, 0, 0);
  EXPECT_NEAR(get_duration(tone.string()), 1.5, 0.01);
  EXPECT_FALSE(get_handles(tone.string()).has_value());

  const fs::path tagged = scratch / "tagged.mkv";
  run_ffmpeg({"-i", tone.string(), "-metadata", "TAVELMOR_C_IN=0.0", "-metadata",
              "TAVELMOR_C_OUT=12.3457", tagged.string()});
  const auto handles = get_handles(tagged.string());
  ASSERT_TRUE(handles.has_value());
  EXPECT_EQ(handles->c_in, 0.0);
  EXPECT_EQ(handles->c_out, 12.3457);

  const fs::path lower = scratch / "lower.mkv";
  run_ffmpeg({"-i", tone.string(), "-metadata", "tavelmor_c_in=0.5", "-metadata",
              "tavelmor_c_out=1.25", lower.string()});
  const auto lower_handles = get_handles(lower.string());
  ASSERT_TRUE(lower_handles.has_value());
  EXPECT_EQ(lower_handles->c_in, 0.5);
  EXPECT_EQ(lower_handles->c_out, 1.25);

  EXPECT_THROW(get_duration((scratch / "missing.mp4").string()), std::runtime_error);
  EXPECT_FALSE(get_handles((scratch / "missing.mp4").string()).has_value());
}

TEST(FfmpegToolsMedia, OneProbeTellsDurationAndSound) {
  ScopedTempDir scratch;
  const fs::path with_sound = scratch / "mit Ton.mp4";
  make_recording(with_sound, {1.0, 0.5}, true, 160, 120);
  const RecordingFacts sound = get_duration_and_sound(with_sound.string());
  EXPECT_TRUE(sound.has_sound());
  EXPECT_EQ(sound.duration, get_duration(with_sound.string()));

  const fs::path mute = scratch / "stumm.mp4";
  run_ffmpeg({"-i", with_sound.string(), "-an", "-c", "copy", mute.string()});
  const RecordingFacts no_sound = get_duration_and_sound(mute.string());
  EXPECT_FALSE(no_sound.has_sound());
  EXPECT_EQ(no_sound.duration, get_duration(mute.string()));

  const fs::path tone = scratch / "ton.flac";
  make_recording(tone, {0.5}, true, 0, 0);
  EXPECT_TRUE(get_duration_and_sound(tone.string()).has_sound());

  std::string combined;
  std::string alone;
  try {
    get_duration_and_sound((scratch / "missing.mp4").string());
  } catch (const std::runtime_error& failure) {
    combined = failure.what();
  }
  try {
    get_duration((scratch / "missing.mp4").string());
  } catch (const std::runtime_error& failure) {
    alone = failure.what();
  }
  EXPECT_FALSE(combined.empty());
  EXPECT_EQ(combined, alone);
}

TEST(FfmpegToolsMedia, TheProbeOfAClipTellsItsPictureAndSoundAsPlayersShowThem) {
  ScopedTempDir scratch;
  // A camera's file turned by a phone-style rotation matrix: 29.97 fps, 24-bit mono PCM.
  // FFmpeg sets the matrix only on a stream copy.
  const fs::path plain = scratch / "plain.mov";
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=30000/1001:d=1", "-f", "lavfi", "-i",
              "sine=r=44100:d=1", "-c:v", "libx264", "-c:a", "pcm_s24le", plain.string()});
  const fs::path camera = scratch / "camera.mov";
  run_ffmpeg({"-i", plain.string(), "-c", "copy", "-metadata:s:v:0", "rotate=90", camera.string()});
  const ClipFacts turned = get_duration_and_handles(camera.string());
  ASSERT_TRUE(turned.picture.has_value());
  EXPECT_EQ(turned.picture->width, 240);
  EXPECT_EQ(turned.picture->height, 320);
  ASSERT_TRUE(turned.picture->rate.has_value());
  EXPECT_EQ(turned.picture->rate->num, 30000);
  EXPECT_EQ(turned.picture->rate->den, 1001);
  EXPECT_EQ(turned.sound_channels, 1);
  EXPECT_EQ(turned.sound_format.sample_rate, 44100);
  EXPECT_EQ(turned.sound_format.depth, 24);
  EXPECT_TRUE(turned.cuts.empty());

  // Anamorphic pixels, with the joins of a jump-cut clip in its tags.
  const fs::path wide = scratch / "wide.mkv";
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc=s=144x108:r=25:d=1", "-vf", "setsar=4/3", "-c:v",
              "libx264", "-metadata", "TAVELMOR_CUTS=0.25,0.5", wide.string()});
  const ClipFacts anamorphic = get_duration_and_handles(wide.string());
  ASSERT_TRUE(anamorphic.picture.has_value());
  EXPECT_EQ(anamorphic.picture->width, 192);
  EXPECT_EQ(anamorphic.picture->height, 108);
  EXPECT_EQ(anamorphic.sound_channels, 0);
  EXPECT_EQ(anamorphic.cuts, (std::vector<double>{0.25, 0.5}));

  const fs::path tone = scratch / "ton.m4a";
  make_recording(tone, {0.5}, true, 0, 0);
  const ClipFacts sound_alone = get_duration_and_handles(tone.string());
  EXPECT_FALSE(sound_alone.picture.has_value());
  EXPECT_GT(sound_alone.sound_format.sample_rate, 0);
  EXPECT_EQ(sound_alone.sound_format.depth, 0);  // AAC has no fixed depth
}

#endif
