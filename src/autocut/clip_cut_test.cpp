#include "autocut/clip_cut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "media/ffmpeg_tools.h"
#include "settings/path_text.h"
#include "support/device_media.h"
#include "support/test_util.h"

TEST(ClipOutputPath, VideoKeepsItsContainerAudioTakesItsOutput) {
  const std::pair<const char*, const char*> names[] = {
      {"/rec/take.mkv", "take_cut.mkv"},      {"/rec/Take.MP4", "Take_cut.MP4"},
      {"/rec/a.b.mov", "a.b_cut.mov"},        {"/rec/screen.webm", "screen_cut.mkv"},
      {"/rec/SCREEN.WEBM", "SCREEN_cut.mkv"}, {"/rec/old.avi", "old_cut.avi"},
      {"/rec/cam.MTS", "cam_cut.MTS"},        {"/rec/voice.ogg", "voice_cut.m4a"},
      {"/rec/voice.OGG", "voice_cut.m4a"},    {"/rec/voice.m4a", "voice_cut.m4a"},
      {"/rec/voice.opus", "voice_cut.m4a"},   {"/rec/voice.aac", "voice_cut.m4a"},
      {"/rec/voice.wav", "voice_cut.wav"},    {"/rec/voice.MP3", "voice_cut.mp3"},
      {"/rec/voice.flac", "voice_cut.flac"},
  };
  for (const auto& [recording, clip] : names) {
    const std::string out = clip_output_path(recording, "/out/Clips", "_cut");
    EXPECT_EQ(out, path_to_utf8(path_from_utf8("/out/Clips") / clip)) << recording;
  }
  EXPECT_EQ(file_name_of(clip_output_path("/rec/Übung 1.mp4", "/out", "")), "Übung 1.mp4");
}

TEST(LastTakeStart, ThePauseMustLeaveTwoSeconds) {
  // A pause ending exactly 2.0 s before the end qualifies.
  EXPECT_EQ(last_take_start({{1.0, 2.0}, {4.0, 8.0}}, 10.0, 0.0), 8.0);
  // Pauses only in the last 2 s do not: the take is the whole recording.
  EXPECT_EQ(last_take_start({{8.5, 9.0}, {9.5, 10.0}}, 10.0, 0.0), 0.0);
  EXPECT_EQ(last_take_start({}, 10.0, 0.0), 0.0);
  // The latest qualifying pause wins; the trailing silence is passed over.
  EXPECT_EQ(last_take_start({{1.0, 2.0}, {3.0, 4.0}, {9.0, 10.0}}, 10.0, 0.0), 4.0);
  // add_padding moves the start back, never below 0.
  EXPECT_EQ(last_take_start({{1.0, 2.0}, {3.0, 4.0}}, 10.0, 0.5), 3.5);
  EXPECT_EQ(last_take_start({{0.0, 1.0}}, 10.0, 3.0), 0.0);
  // add_padding can make a trailing pause qualify.
  EXPECT_EQ(last_take_start({{1.0, 2.0}, {7.0, 9.0}}, 10.0, 1.0), 8.0);
}

TEST(EndSilenceCut, TheLatestSilenceWellAfterTheStart) {
  EXPECT_EQ(end_silence_cut({{1.0, 2.0}, {8.0, 9.0}}, 3.0), 8.05);
  // It must start more than 0.5 s after trim_start.
  EXPECT_EQ(end_silence_cut({{3.5, 4.0}}, 3.0), std::nullopt);
  EXPECT_EQ(end_silence_cut({{3.6, 4.0}, {3.55, 3.6}}, 3.0), 3.55 + 0.05);
  EXPECT_EQ(end_silence_cut({}, 3.0), std::nullopt);
}

TEST(HandleTagArgs, MovFamilyKeepsCustomTagsAndFaststart) {
  EXPECT_EQ(handle_tag_args("/o/c.mkv", 0.0, 2.5),
            (std::vector<std::string>{"-metadata", "TAVELMOR_C_IN=0.0", "-metadata",
                                      "TAVELMOR_C_OUT=2.5"}));
  for (const char* name : {"/o/c.mp4", "/o/c.MOV", "/o/c.m4a", "/o/c.m4v"}) {
    const auto args = handle_tag_args(name, 0.0, 3.14159265);
    ASSERT_EQ(args.size(), 12u) << name;
    EXPECT_EQ(args[3], "TAVELMOR_C_OUT=3.1416");
    EXPECT_EQ(args[10], "-movflags");
    EXPECT_EQ(args[11], "+faststart+use_metadata_tags");
  }
  EXPECT_EQ(handle_tag_args("/o/c.mp3", 0.0, 10.0)[3], "TAVELMOR_C_OUT=10.0");
}

namespace {

struct CutOutcome {
  std::vector<std::string> logs;
  std::vector<std::string> done;
  std::vector<std::string> errs;

  bool logged_starting(const std::string& prefix) const {
    return std::any_of(logs.begin(), logs.end(),
                       [&](const std::string& m) { return m.rfind(prefix, 0) == 0; });
  }
};

CutOutcome cut(const fs::path& recording, const Json& cfg,
               const FixedPaths& paths = fixed_paths_for_home(fs::temp_directory_path())) {
  CutOutcome outcome;
  run_cut(
      path_to_utf8(recording), cfg, [&](const std::string& m) { outcome.logs.push_back(m); },
      [&](const std::string& out) { outcome.done.push_back(out); },
      [&](const std::string& e) { outcome.errs.push_back(e); }, paths);
  EXPECT_EQ(outcome.done.size() + outcome.errs.size(), 1u) << "exactly one of done and err";
  return outcome;
}

Json cut_cfg(const fs::path& output_folder) {
  return Json{{"output_folder", path_to_utf8(output_folder)},
              {"silence_threshold", "-35dB"},
              {"silence_duration", 0.5},
              {"suffix", "_cut"},
              {"trim_silence", true},
              {"trim_padding", 0.2},
              {"resolution", "Hochformat 1080x1920"},
              {"add_padding", 0.0}};
}

}  // namespace

TEST(ClipCut, AnUnknownResolutionFailsBeforeAnyMediaWork) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  const FixedPaths paths = fixed_paths_for_home(home.path());
  Json cfg = cut_cfg(home / "out");
  cfg["resolution"] = "Quadrat 1000x1000";
  const CutOutcome outcome = cut(home / "rec.mp4", cfg, paths);
  ASSERT_EQ(outcome.errs.size(), 1u);
  EXPECT_EQ(outcome.errs[0], "Unbekannte Auflösung: Quadrat 1000x1000");
  EXPECT_EQ(outcome.logs, std::vector<std::string>{"Datei: rec.mp4"});
  EXPECT_NE(read_text_file(paths.error_log).find("Unbekannte Auflösung: Quadrat 1000x1000"),
            std::string::npos);
}

// Settings reach FFmpeg's filter text and the clip's file name: a value that would say more than
// a threshold, a length or a name part (another filter that writes a file, a folder elsewhere) is
// refused before any child runs, and so is a clip that would replace its recording.
TEST(ClipCut, SettingsThatWouldMeanMoreThanTheySayFailBeforeAnyMediaWork) {
  ScopedTempDir home;
  fs::create_directories(home / "Desktop");
  const FixedPaths paths = fixed_paths_for_home(home.path());
  const std::string written = path_to_utf8(home / "written.txt");
  const std::vector<std::pair<std::string, Json>> cases = {
      {"silence_threshold", "-35dB,ametadata=mode=print:file=" + written},
      {"silence_duration", "0.5:noise=0"},
      {"suffix", "/../../elsewhere"},
      {"suffix", "_cut\\..\\x"},
      {"cut_pauses", "ja"},
      {"cut_pauses", 1},
      {"pause_min", -0.5},
      {"pause_min", "0.5,volume=9"},
      {"pause_keep", -0.1},
      {"pause_keep", true},
      {"loudness_target", 3.0},
      {"loudness_target", -80},
      {"loudness_target", "-14"},
  };
  for (const auto& [key, value] : cases) {
    SCOPED_TRACE(key + " = " + json_plain_text(value));
    Json cfg = cut_cfg(home / "out");
    cfg[key] = value;
    const CutOutcome outcome = cut(home / "rec.mp4", cfg, paths);
    ASSERT_EQ(outcome.errs.size(), 1u);
    EXPECT_EQ(outcome.errs[0], "Ungültiger Wert für " + key + ": " + json_plain_text(value));
    EXPECT_FALSE(outcome.logged_starting("Länge")) << "a child ran";
  }
  EXPECT_FALSE(fs::exists(home / "written.txt"));

  write_text_file(home / "rec.mp4", "the recording");
  Json same_folder = cut_cfg(home.path());
  same_folder["suffix"] = "";
  const CutOutcome outcome = cut(home / "rec.mp4", same_folder, paths);
  ASSERT_EQ(outcome.errs.size(), 1u);
  EXPECT_EQ(outcome.errs[0], "Clip und Aufnahme wären dieselbe Datei: rec.mp4");
  EXPECT_EQ(read_text_file(home / "rec.mp4"), "the recording");
}

#ifndef _WIN32

namespace {

struct ClipStreams {
  std::string video_codec, profile, pix_fmt, audio_codec;
  int width = 0, height = 0;
  int audio_bit_rate = 0;
};

ClipStreams streams_of(const fs::path& clip) {
  ClipStreams streams;
  const Json probe = Json::parse(probe_json(clip));
  for (const Json& stream : probe.value("streams", Json::array())) {
    if (stream.value("codec_type", "") == "video") {
      streams.video_codec = stream.value("codec_name", "");
      streams.profile = stream.value("profile", "");
      streams.pix_fmt = stream.value("pix_fmt", "");
      streams.width = stream.value("width", 0);
      streams.height = stream.value("height", 0);
    } else if (stream.value("codec_type", "") == "audio") {
      streams.audio_codec = stream.value("codec_name", "");
      streams.audio_bit_rate = std::atoi(stream.value("bit_rate", "0").c_str());
    }
  }
  return streams;
}

// Every timecode tag ffprobe shows in a file, where it found it: "format", "video", "data".
std::vector<std::pair<std::string, std::string>> timecodes_in(const fs::path& file) {
  const auto tag_of = [](const Json& owner) -> std::optional<std::string> {
    const Json tags = owner.value("tags", Json::object());
    for (const auto& [key, value] : tags.items()) {
      if (to_lower_ascii(key) == "timecode")
        return value.get<std::string>();
    }
    return std::nullopt;
  };
  std::vector<std::pair<std::string, std::string>> found;
  const Json probe = Json::parse(probe_json(file));
  if (const auto text = tag_of(probe.value("format", Json::object())))
    found.emplace_back("format", *text);
  for (const Json& stream : probe.value("streams", Json::array())) {
    if (const auto text = tag_of(stream))
      found.emplace_back(stream.value("codec_type", ""), *text);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Temporary files go to a folder of the test's own, so it can see that none are left.
class ClipCutMedia : public ::testing::Test {
 protected:
  ClipCutMedia() : temp_("TMPDIR", scratch_.text()) {}

  // True when no take copy is left in the temporary folder.
  bool no_take_copy_left() const {
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      if (entry.path().filename().string().rfind("tavelmor_take_", 0) == 0)
        return false;
    }
    return true;
  }

  ScopedTempDir work_{"tavelmor_cut_"};
  ScopedTempDir scratch_{"tavelmor_cut_tmp_"};
  ScopedEnvVar temp_;
};

// Speech 0-1 s, a pause to 6.5 s, the last take's speech 6.5-8.5 s, end silence to 9.0 s; the
// keyframes lie 5 s apart, so the take starts between two of them.
RecordingOptions long_gop(int width, int height) {
  RecordingOptions options;
  options.width = width;
  options.height = height;
  options.fps = 10;
  options.keyframe_interval = 50;
  return options;
}
const std::vector<double> TWO_TAKES = {1.0, 5.5, 2.0, 0.5};

// With add_padding 0.5 the take starts at 6.0; the speech bounds (padding 0.2) start the clip at
// 6.3, the end silence ends it at 8.55: a clip of 2.25 s that opens with 0.2 s of silence.
void expect_last_take_cut(const CutOutcome& outcome, const fs::path& clip) {
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  ASSERT_EQ(outcome.done, std::vector<std::string>{path_to_utf8(clip)});
  const auto handles = get_handles(path_to_utf8(clip));
  ASSERT_TRUE(handles.has_value()) << "tags lost in " << clip;
  EXPECT_EQ(handles->c_in, 0.0);
  EXPECT_NEAR(handles->c_out, 2.25, 0.07);
  const auto silences = detect_silences(path_to_utf8(clip), "-35dB", "0.05");
  ASSERT_FALSE(silences.empty());
  EXPECT_LT(silences[0].start, 0.05);
  EXPECT_NEAR(silences[0].end, 0.2, 0.07) << "speech padding at the start";
  EXPECT_TRUE(outcome.logged_starting("End-Stille entfernt: schneide bei 8.5"));
}

// Speech 0-1 s, a pause to 2 s, the last take's speech 2-4 s, end silence to 4.6 s. With
// add_padding 0.5 and a speech padding of 0.2 the clip runs from 1.8 s to 4.05 s (2.25 s).
const std::vector<double> AUDIO_TAKES = {1.0, 1.0, 2.0, 0.6};

Json audio_cfg(const fs::path& output_folder) {
  Json cfg = cut_cfg(output_folder);
  cfg["add_padding"] = 0.5;
  return cfg;
}

}  // namespace

TEST_F(ClipCutMedia, LongKeyframeIntervalMkvKeepsItsSpeech) {
  const fs::path recording = work_ / "aufnahme.mkv";
  make_recording(recording, TWO_TAKES, long_gop(160, 120));
  Json cfg = cut_cfg(work_ / "Ausgabe" / "neu");
  cfg["add_padding"] = 0.5;
  const ChildLog children;
  const CutOutcome outcome = cut(recording, cfg);
  // A probe of the recording and one of the clip; one analysis of the whole recording (take
  // search and end silence), one of the take, and the encode, which writes the tags.
  EXPECT_EQ(children.runs_of("ffprobe"), 2);
  EXPECT_EQ(children.runs_of("ffmpeg"), 3);
  const fs::path clip = work_ / "Ausgabe" / "neu" / "aufnahme_cut.mkv";
  expect_last_take_cut(outcome, clip);

  const ClipStreams streams = streams_of(clip);
  EXPECT_EQ(streams.video_codec, "h264");
  EXPECT_EQ(streams.profile, "High");
  EXPECT_EQ(streams.pix_fmt, "yuv420p");
  EXPECT_EQ(streams.width, 1080);
  EXPECT_EQ(streams.height, 1920);
  EXPECT_EQ(streams.audio_codec, "aac");
  EXPECT_TRUE(no_take_copy_left());

  // The messages of a normal video cut, in their order.
  const std::vector<std::string> fixed = {"Datei: ",
                                          "Länge: ",
                                          "Suche letzten Take ...",
                                          "FFmpeg Stille-Erkennung startet: ",
                                          "FFmpeg Stille-Erkennung fertig: ",
                                          "2 Pause(n) gefunden",
                                          "Letzter Take ab: 6.0",
                                          "Extrahiere letzten Take in temporäre Datei ...",
                                          "Trimme via Stille-Erkennung ...",
                                          "FFmpeg Stille-Erkennung startet: ",
                                          "FFmpeg Stille-Erkennung fertig: ",
                                          "Sprache: 0.",
                                          "Ergebnis: 6.",
                                          "FFmpeg Stille-Erkennung startet: ",
                                          "FFmpeg Stille-Erkennung fertig: ",
                                          "End-Stille entfernt: schneide bei ",
                                          "FFmpeg Export startet ...",
                                          "Gespeichert: " + path_to_utf8(clip),
                                          "Inhalt 0.00s-2.2"};
  ASSERT_EQ(outcome.logs.size(), fixed.size());
  for (size_t i = 0; i < fixed.size(); ++i)
    EXPECT_EQ(outcome.logs[i].rfind(fixed[i], 0), 0u) << outcome.logs[i];
}

TEST_F(ClipCutMedia, Mp4TakeBetweenKeyframesPortraitSourceInALandscapeFrame) {
  const fs::path recording = work_ / "hoch.mp4";
  make_recording(recording, TWO_TAKES, long_gop(135, 241));  // portrait, odd size
  Json cfg = cut_cfg(work_.path());
  cfg["add_padding"] = 0.5;
  cfg["resolution"] = "Querformat 1920x1080";
  const CutOutcome outcome = cut(recording, cfg);
  const fs::path clip = work_ / "hoch_cut.mp4";
  expect_last_take_cut(outcome, clip);
  const ClipStreams streams = streams_of(clip);
  EXPECT_EQ(streams.width, 1920);
  EXPECT_EQ(streams.height, 1080);
  EXPECT_EQ(streams.profile, "High");
  // The tag rewrite keeps the index in front of the media data.
  const std::string bytes = read_text_file(clip);
  EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
  EXPECT_TRUE(no_take_copy_left());
  // A recording without a timecode gives a clip without one.
  EXPECT_EQ(timecodes_in(clip), (std::vector<std::pair<std::string, std::string>>{}));
}

TEST_F(ClipCutMedia, AwkwardNamesAndUpperCaseMovWithoutTrim) {
  const fs::path recording = work_ / "Take 'eins' \"zwei\" Übung.MOV";
  RecordingOptions options;
  options.width = 160;
  options.height = 120;
  options.fps = 10;
  make_recording(recording, {2.5}, options);  // no pause at all
  Json cfg = cut_cfg(work_ / "Clips ä");
  cfg["trim_silence"] = false;
  const CutOutcome outcome = cut(recording, cfg);
  const fs::path clip = work_ / "Clips ä" / "Take 'eins' \"zwei\" Übung_cut.MOV";
  ASSERT_EQ(outcome.done, std::vector<std::string>{path_to_utf8(clip)});
  EXPECT_FALSE(outcome.logged_starting("Extrahiere"));
  EXPECT_TRUE(outcome.logged_starting("Letzter Take ab: 0.00s (2.5s verbleiben)"));
  const auto handles = get_handles(path_to_utf8(clip));
  ASSERT_TRUE(handles.has_value());
  EXPECT_NEAR(handles->c_out, 2.5, 0.02);
  EXPECT_EQ(streams_of(clip).video_codec, "h264");
}

TEST_F(ClipCutMedia, WebmRecordingsGiveMkvClips) {
  const fs::path recording = work_ / "bildschirm.webm";
  RecordingOptions options;
  options.width = 160;
  options.height = 120;
  options.fps = 10;
  options.video_codec = "libvpx-vp9";
  options.audio_codec = "libopus";
  make_recording(recording, {1.5, 0.5}, options);
  const CutOutcome outcome = cut(recording, cut_cfg(work_.path()));
  const fs::path clip = work_ / "bildschirm_cut.mkv";
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  ASSERT_EQ(outcome.done, std::vector<std::string>{path_to_utf8(clip)});
  const ClipStreams streams = streams_of(clip);
  EXPECT_EQ(streams.video_codec, "h264");
  EXPECT_EQ(streams.audio_codec, "aac");
  EXPECT_TRUE(get_handles(path_to_utf8(clip)).has_value());
}

TEST_F(ClipCutMedia, AVideoWithoutSoundIsCutWhole) {
  const fs::path recording = work_ / "stumm.mp4";
  make_recording(work_ / "with_sound.mp4", {1.0}, true, 160, 120);
  run_ffmpeg({"-i", path_to_utf8(work_ / "with_sound.mp4"), "-an", "-c", "copy", "-brand", "mp42",
              path_to_utf8(recording)});
  const ChildLog children;
  const CutOutcome outcome = cut(recording, cut_cfg(work_.path()));
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  EXPECT_TRUE(outcome.logged_starting("Keine Tonspur – kein Stille-Trimming"));
  EXPECT_EQ(children.runs_of("ffprobe"), 2);
  EXPECT_EQ(children.runs_of("ffmpeg"), 2);
  const auto handles = get_handles(path_to_utf8(work_ / "stumm_cut.mp4"));
  ASSERT_TRUE(handles.has_value());
  EXPECT_NEAR(handles->c_out, 1.0, 0.05);
  EXPECT_EQ(streams_of(work_ / "stumm_cut.mp4").audio_codec, "");
  // The clip names its own brand, not the recording's.
  const Json clip = Json::parse(probe_json(work_ / "stumm_cut.mp4"));
  EXPECT_EQ(clip["format"]["tags"]["major_brand"], "isom");
}

TEST_F(ClipCutMedia, AudioRecordingsStayAudioAndKeepTheirHandles) {
  const std::vector<double> segments = AUDIO_TAKES;
  const std::pair<const char*, const char*> formats[] = {
      {"stimme.ogg", "stimme_cut.m4a"},
      {"stimme.mp3", "stimme_cut.mp3"},
      {"stimme.flac", "stimme_cut.flac"},
      {"stimme.m4a", "stimme_cut.m4a"},
  };
  for (const auto& [name, clip_name] : formats) {
    make_recording(work_ / name, segments, true, 0, 0);
    const CutOutcome outcome = cut(work_ / name, audio_cfg(work_ / "out"));
    const fs::path clip = work_ / "out" / clip_name;
    ASSERT_EQ(outcome.done, std::vector<std::string>{path_to_utf8(clip)}) << name;
    EXPECT_TRUE(outcome.logged_starting("Tondatei – Ergebnis wird wieder eine Tondatei"));
    const auto handles = get_handles(path_to_utf8(clip));
    ASSERT_TRUE(handles.has_value()) << "tags lost in " << clip_name;
    EXPECT_NEAR(handles->c_out, 2.25, 0.07) << clip_name;
    const ClipStreams streams = streams_of(clip);
    EXPECT_EQ(streams.video_codec, "") << clip_name;
    fs::remove(work_ / name);
  }
  EXPECT_EQ(streams_of(work_ / "out" / "stimme_cut.m4a").audio_codec, "aac");

  // WAV cannot hold the tags: the clip is delivered without handles.
  make_recording(work_ / "stimme.wav", segments, true, 0, 0);
  const CutOutcome wav = cut(work_ / "stimme.wav", audio_cfg(work_ / "out"));
  ASSERT_EQ(wav.done, std::vector<std::string>{path_to_utf8(work_ / "out" / "stimme_cut.wav")});
  EXPECT_EQ(streams_of(work_ / "out" / "stimme_cut.wav").audio_codec, "pcm_s16le");
  EXPECT_NEAR(get_duration(path_to_utf8(work_ / "out" / "stimme_cut.wav")), 2.25, 0.07);
  EXPECT_TRUE(no_take_copy_left());
}

TEST_F(ClipCutMedia, TheTakeIsAnalysedOnTheTrackOfTheWholeRecordingsAnalysis) {
  // A stereo track without pauses first, quieter than the voice but above the threshold, like
  // music on the desktop, then the mono track with the takes. FFmpeg would pick the first (the
  // default track, with more channels); the analysis of the whole recording takes the loudest, the
  // voice, and the take must be analysed on that track too.
  RecordingOptions options;
  options.width = 160;
  options.height = 120;
  options.fps = 5;
  make_recording(work_ / "takes.mp4", AUDIO_TAKES, options);
  make_recording(work_ / "steady.wav", {4.6}, true, 0, 0);
  const fs::path recording = work_ / "zwei Spuren.mkv";
  run_ffmpeg({"-i",
              path_to_utf8(work_ / "takes.mp4"),
              "-i",
              path_to_utf8(work_ / "steady.wav"),
              "-map",
              "0:v",
              "-map",
              "1:a",
              "-map",
              "0:a",
              "-c:v",
              "copy",
              "-c:a",
              "flac",
              "-filter:a:0",
              "volume=0.3",
              "-ac:a:0",
              "2",
              "-disposition:a:0",
              "default",
              "-disposition:a:1",
              "0",
              path_to_utf8(recording)});
  const CutOutcome outcome = cut(recording, audio_cfg(work_ / "out"));
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  const auto handles = get_handles(path_to_utf8(work_ / "out" / "zwei Spuren_cut.mkv"));
  ASSERT_TRUE(handles.has_value());
  EXPECT_NEAR(handles->c_out, 2.25, 0.07);
}

namespace {

// Speech to 0.4 s, a pause, the last take's speech from the first sound frame after 1.4 s, which
// starts at 1.408 s: 35.2 frames at 25 fps, 42.2 at 29.97 fps. The clip starts with the frame
// after those, not the nearest one.
const std::vector<double> TAKE_AFTER_FRAME_40 = {0.4, 1.0, 2.05};

}  // namespace

TEST_F(ClipCutMedia, TheClipCarriesTheTimecodeOfItsFirstFrame) {
  RecordingOptions options;
  options.width = 64;
  options.height = 48;
  options.fps = 25;
  Json cfg = cut_cfg(work_ / "out");
  cfg["trim_silence"] = false;
  struct Case {
    const char* name;
    const char* rate;         // of a picture made beside the sound; nullptr: make_recording
    const char* delay;        // of the picture behind the sound, in seconds
    const char* sound_codec;  // of the sound beside it
    const char* source_timecode;
    std::vector<std::pair<std::string, std::string>> clip_timecodes;
  };
  const Case cases[] = {
      // Drop-frame at 29.97 fps across a minute: 1770 + 43 frames, on the tmcd track too.
      {"ntsc.mp4",
       "30000/1001",
       "0",
       "aac",
       "00:00:59;00",
       {{"data", "00:01:00;15"}, {"video", "00:01:00;15"}}},
      // The timecode belongs to the first picture, which comes 0.52 s after the start: frame 22.2.
      {"kamera.mkv",
       "25",
       "0.5",
       "flac",
       "10:00:00:00",
       {{"format", "10:00:00:23"}, {"video", "10:00:00:23"}}},
      // AVI keeps no handle tags, but a timecode; past midnight it starts again.
      {"kamera.avi", nullptr, nullptr, nullptr, "23:59:59:00", {{"format", "00:00:00:11"}}},
  };
  make_recording(work_ / "ton.wav", TAKE_AFTER_FRAME_40, true, 0, 0);
  for (const Case& c : cases) {
    const std::string name = c.name;
    const fs::path plain = work_ / ("plain_" + name);
    if (c.rate) {
      run_ffmpeg({"-itsoffset", c.delay, "-f", "lavfi", "-i",
                  std::string("testsrc2=size=64x48:duration=2.9:rate=") + c.rate, "-i",
                  path_to_utf8(work_ / "ton.wav"), "-c:v", "libx264", "-preset", "ultrafast",
                  "-c:a", c.sound_codec, path_to_utf8(plain)});
    } else {
      // PCM sound, which unlike MP3 starts without a delay in AVI.
      options.audio_codec = "pcm_s16le";
      make_recording(plain, TAKE_AFTER_FRAME_40, options);
    }
    run_ffmpeg({"-i", path_to_utf8(plain), "-map", "0", "-c", "copy", "-metadata",
                std::string("timecode=") + c.source_timecode, path_to_utf8(work_ / name)});

    const CutOutcome outcome = cut(work_ / name, cfg);
    ASSERT_EQ(outcome.errs, std::vector<std::string>{}) << name;
    EXPECT_TRUE(outcome.logged_starting("Letzter Take ab: 1.41s")) << name;
    const fs::path clip = path_from_utf8(outcome.done.at(0));
    // As delivered, after the tag rewrite.
    EXPECT_EQ(get_handles(path_to_utf8(clip)).has_value(), name != "kamera.avi") << name;
    EXPECT_EQ(timecodes_in(clip), c.clip_timecodes) << name;
  }

  // Sound alone has no frames to count: the clip of a recording with a timecode carries none.
  make_recording(work_ / "stimme_plain.flac", AUDIO_TAKES, true, 0, 0);
  run_ffmpeg({"-i", path_to_utf8(work_ / "stimme_plain.flac"), "-c", "copy", "-metadata",
              "timecode=10:00:00:00", path_to_utf8(work_ / "stimme.flac")});
  ASSERT_FALSE(timecodes_in(work_ / "stimme.flac").empty());
  const CutOutcome sound = cut(work_ / "stimme.flac", audio_cfg(work_ / "out"));
  ASSERT_EQ(sound.done, std::vector<std::string>{path_to_utf8(work_ / "out" / "stimme_cut.flac")});
  EXPECT_EQ(timecodes_in(work_ / "out" / "stimme_cut.flac"),
            (std::vector<std::pair<std::string, std::string>>{}));
}

namespace {

// A stand-in ffmpeg that fails the calls whose arguments match the shell pattern `pattern` (and
// leaves a partial file at their output path, unless that is FFmpeg's null output "-") and hands
// every other call to the real ffmpeg.
void fail_ffmpeg_calls(ScopedStandIns& stand_ins, const std::string& real_ffmpeg,
                       const std::string& pattern, const std::string& message) {
  stand_ins.add("ffmpeg",
                "case \"$*\" in\n  " + pattern +
                    ")\n    for out; do :; done\n    [ \"$out\" = - ] || echo partial > \"$out\"\n"
                    "    printf '%s' '" +
                    message + "' >&2\n    exit 1;;\nesac\nexec '" + real_ffmpeg + "' \"$@\"");
}

}  // namespace

TEST_F(ClipCutMedia, FailuresRemoveTheTemporaryFilesAndReportTheirMessages) {
  const std::string real_ffmpeg = program_on_path("ffmpeg");
  ASSERT_FALSE(real_ffmpeg.empty());
  const fs::path recording = work_ / "stimme.mp3";
  make_recording(recording, AUDIO_TAKES, true, 0, 0);
  const Json cfg = audio_cfg(work_ / "out");
  const fs::path clip = work_ / "out" / "stimme_cut.mp3";
  ScopedStandIns stand_ins;

  // The take's one run: its failure is that of a silence analysis of the recording.
  fail_ffmpeg_calls(stand_ins, real_ffmpeg, "*-ss*silencedetect*", "Analyse kaputt");
  const CutOutcome take = cut(recording, cfg);
  EXPECT_EQ(take.errs,
            std::vector<std::string>{"FFmpeg Stille-Erkennung fehlgeschlagen: stimme.mp3\n"
                                     "Analyse kaputt"});
  EXPECT_TRUE(take.logged_starting("Trimme via Stille-Erkennung ..."));
  EXPECT_TRUE(no_take_copy_left());

  const std::string noise(1000, 'z');
  fail_ffmpeg_calls(stand_ins, real_ffmpeg, "*libmp3lame*", "Anfang" + noise + "Schluss");
  const CutOutcome encode = cut(recording, cfg);
  EXPECT_EQ(encode.errs, std::vector<std::string>{noise.substr(noise.size() - 793) + "Schluss"});

  // The encode writes the tags: failing there, the cut fails; it delivers no clip without them.
  fail_ffmpeg_calls(stand_ins, real_ffmpeg, "*TAVELMOR_C_IN=0.0*TAVELMOR_C_OUT=2.2*",
                    "Tags kaputt");
  const CutOutcome tags = cut(recording, cfg);
  EXPECT_EQ(tags.errs, std::vector<std::string>{"Tags kaputt"});
  EXPECT_FALSE(tags.logged_starting("Handle-Tags"));
  EXPECT_TRUE(no_take_copy_left());
}

namespace {

// The colour tags and pixel format of the first video stream.
std::string colour_of(const fs::path& clip) {
  const Json probe = Json::parse(probe_json(clip));
  for (const Json& stream : probe.value("streams", Json::array())) {
    if (stream.value("codec_type", "") == "video") {
      return stream.value("pix_fmt", "") + " " + stream.value("color_primaries", "?") + "/" +
             stream.value("color_transfer", "?") + "/" + stream.value("color_space", "?");
    }
  }
  return "";
}

}  // namespace

// A browser records WebM without a duration or cues. The cut takes the recording's length from
// its analysis, with no child more; one that ends before its first sound fails and says why.
TEST_F(ClipCutMedia, ABrowsersWebmWithoutDurationIsCutToItsLastTake) {
  const fs::path recording = work_ / "browser.webm";
  make_browser_webm(recording, AUDIO_TAKES);
  ASSERT_FALSE(get_duration_and_sound(path_to_utf8(recording)).duration.has_value());
  const ChildLog children;
  const CutOutcome outcome = cut(recording, audio_cfg(work_ / "out"));
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  EXPECT_EQ(children.runs_of("ffprobe"), 2);
  EXPECT_EQ(children.runs_of("ffmpeg"), 3);
  EXPECT_TRUE(outcome.logged_starting("Länge: 4.6s"));
  const auto handles = get_handles(path_to_utf8(work_ / "out" / "browser_cut.mkv"));
  ASSERT_TRUE(handles.has_value());
  EXPECT_NEAR(handles->c_out, 2.25, 0.07);

  // Stopped as the first cluster began: ffprobe reads the header, but there is nothing to play.
  const std::string bytes = read_text_file(recording);
  const size_t cluster = bytes.find("\x1f\x43\xb6\x75");
  ASSERT_NE(cluster, std::string::npos);
  write_text_file(work_ / "abgebrochen.webm", bytes.substr(0, cluster + 8));
  const CutOutcome stopped = cut(work_ / "abgebrochen.webm", audio_cfg(work_ / "out"));
  EXPECT_EQ(stopped.errs,
            std::vector<std::string>{"Keine Dauer: abgebrochen.webm nennt keine "
                                     "Länge, und aus dem Inhalt ließ sich keine lesen"});
  EXPECT_FALSE(fs::exists(work_ / "out" / "abgebrochen_cut.mkv"));
}

// A screen recorder's near-silent desktop track first, the microphone second: the cut follows the
// speech, and the clip plays it first; the desktop's track is kept after it.
TEST_F(ClipCutMedia, WithTwoSoundTracksTheSpeechLeadsTheClip) {
  const fs::path recording = work_ / "bildschirm.mkv";
  make_two_track_recording(recording, AUDIO_TAKES);
  const ChildLog children;
  const CutOutcome outcome = cut(recording, audio_cfg(work_ / "out"));
  ASSERT_EQ(outcome.errs, std::vector<std::string>{});
  EXPECT_TRUE(outcome.logged_starting("Sprache auf Tonspur 2 von 2 (die lauteste)"));
  // The analysis started beside the probe gives way to the one of both tracks.
  EXPECT_EQ(children.runs_of("ffprobe"), 2);
  EXPECT_EQ(children.runs_of("ffmpeg"), 4);
  const fs::path clip = work_ / "out" / "bildschirm_cut.mkv";
  const auto handles = get_handles(path_to_utf8(clip));
  ASSERT_TRUE(handles.has_value());
  EXPECT_NEAR(handles->c_out, 2.25, 0.07);
  // The take's speech runs from 0.2 s in the clip.
  EXPECT_GT(sound_level(clip, 0, 0.5, 1.5), -25.0);
  EXPECT_LT(sound_level(clip, 1, 0.5, 1.5), -50.0);
  const Json probe = Json::parse(probe_json(clip));
  std::vector<int> defaults;
  for (const Json& stream : probe["streams"]) {
    if (stream["codec_type"] == "audio")
      defaults.push_back(stream["disposition"]["default"].get<int>());
  }
  EXPECT_EQ(defaults, (std::vector<int>{1, 0}));
}

// Anamorphic pixels are fitted as they are shown; a phone's rotated HLG picture comes out turned,
// as 8-bit BT.709 SDR that says so, its grey where a BT.709 camera would have put it.
TEST_F(ClipCutMedia, AnamorphicAndHdrPicturesComeOutAsTheyAreShownInBt709) {
  Json cfg = cut_cfg(work_ / "out");
  cfg["trim_silence"] = false;
  make_anamorphic_recording(work_ / "kamera.mkv", 0.6);
  ASSERT_EQ(cut(work_ / "kamera.mkv", cfg).errs, std::vector<std::string>{});
  const fs::path wide = work_ / "out" / "kamera_cut.mkv";
  EXPECT_EQ(content_box(wide), "1080x608");     // 16:9 as shown, not the stored 4:3
  EXPECT_EQ(colour_of(wide), "yuv420p ?/?/?");  // an SDR source keeps what it said

  make_hdr_recording(work_ / "telefon.mov", "arib-std-b67", 0.6, 90);
  const CutOutcome phone = cut(work_ / "telefon.mov", cfg);
  ASSERT_EQ(phone.errs, std::vector<std::string>{});
  EXPECT_TRUE(phone.logged_starting("HDR-Aufnahme – das Bild wird in SDR (BT.709) umgewandelt"));
  const fs::path clip = work_ / "out" / "telefon_cut.mov";
  EXPECT_EQ(content_box(clip), "1080x1920");  // 90x160 as shown fills the portrait frame
  EXPECT_EQ(colour_of(clip), "yuv420p bt709/bt709/bt709");
  EXPECT_NEAR(centre_luma(clip), TEST_GREY_LUMA, 3.0);
}

#endif
