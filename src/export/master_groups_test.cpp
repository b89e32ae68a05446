#include "export/master_groups.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "export/export_test_support.h"
#include "media/ffmpeg_tools.h"
#include "settings/utf8.h"
#include "support/device_media.h"

TEST(ClipEnds, TheRunningSumIsRoundedSoNoErrorAddsUp) {
  // 50 spans of 0.99 s: rounding each to 59 frames would lose 0.4 frames a clip, 20 in all.
  const std::vector<ClipEnd> ends = clip_ends(std::vector<double>(50, 0.99), 48000);
  ASSERT_EQ(ends.size(), 50u);
  EXPECT_EQ(ends.back().frame, 2970);  // 49.5 s
  EXPECT_EQ(ends.back().sample, 2376000);
  for (size_t i = 1; i < ends.size(); ++i) {
    const int64_t frames = ends[i].frame - ends[i - 1].frame;
    EXPECT_TRUE(frames == 59 || frames == 60) << i;
    // The sound is each span to the sample, not the frames' length.
    EXPECT_EQ(ends[i].sample - ends[i - 1].sample, 47520) << i;
  }

  // Every clip gets a frame, however short; the sound ends at the nearest sample of each sum.
  const std::vector<ClipEnd> short_ones = clip_ends({0.001, 0.001, 1.0 / 120, 0.5}, 44100);
  const std::vector<int64_t> frames = {1, 2, 3, 31};
  const std::vector<int64_t> samples = {44, 88, 456, 22506};
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(short_ones[i].frame, frames[i]) << i;
    EXPECT_EQ(short_ones[i].sample, samples[i]) << i;
  }
}

namespace {

// ffprobe answering every clip with a picture and 2 s of stereo sound; "b.mp4" carries handles.
const char* const PROBE_WITH_PICTURE =
    R"(streams='"streams": [{"codec_type": "video"}, {"codec_type": "audio", "sample_rate": "48000", "channels": 2}]'
case "$*" in
  *b.mp4*) echo "{$streams, \"format\": {\"duration\": \"2.000000\", \"tags\": {\"TAVELMOR_C_IN\": \"0.5\", \"TAVELMOR_C_OUT\": \"1.5\"}}}" ;;
  *) echo "{$streams, \"format\": {\"duration\": \"2.000000\"}}" ;;
esac)";

const char* const PRINT_LONG_ERROR =
    R"(i=0; while [ $i -lt 100 ]; do printf 'Fehlerzeile %03d: etwas ging schief\n' $i >&2; i=$((i+1)); done)";

std::string long_error_output() {
  std::string text;
  for (int i = 0; i < 100; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "Fehlerzeile %03d: etwas ging schief\n", i);
    text += line;
  }
  return text;
}

class MasterGroupsFailures : public ::testing::Test {
 protected:
  MasterGroupsFailures() { fs::create_directories(scratch_ / "tmp"); }

  // Exports the clips with the stand-in ffmpeg whose body is `ffmpeg`.
  Recorder run(const std::vector<std::string>& files, const std::string& ffmpeg) {
    tools_.script("ffprobe", PROBE_WITH_PICTURE);
    tools_.script("ffmpeg", "echo \"$@\" >> '" + tools_.calls_file() + "'\n" + ffmpeg);
    Recorder recorder;
    run_master_mp4(files, export_cfg(path_to_utf8(scratch_ / "out")), recorder.log(),
                   recorder.done(), recorder.err(), scratch_paths(scratch_));
    return recorder;
  }
  bool no_temporary_files_left() const { return fs::is_empty(scratch_ / "tmp"); }

  ScopedTempDir scratch_;
  StandInTools tools_;
  ScopedEnv tmpdir_{"TMPDIR", path_to_utf8(scratch_ / "tmp")};
};

}  // namespace

TEST_F(MasterGroupsFailures, AFailingGroupNamesItsClipsAndStopsTheExport) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  // Two full groups and one of two clips, b.mp4 with handles; the third group fails, the others
  // leave their sound behind.
  std::vector<std::string> files;
  for (size_t i = 0; i < 2 * CLIPS_PER_GROUP + 2; ++i)
    files.push_back("/clips/" + (i == 1 ? std::string("b") : "clip_" + std::to_string(i)) + ".mp4");
  const std::string failing = "clip_" + std::to_string(2 * CLIPS_PER_GROUP);
  const Recorder recorder =
      run(files, "for last; do :; done\ncase \"$*\" in *" + failing + ".mp4*) " + PRINT_LONG_ERROR +
                     "; exit 1 ;; esac\n: > \"$last\"");

  EXPECT_EQ(recorder.outcome(), "err: Fehler bei " + failing + ".mp4, clip_" +
                                    std::to_string(2 * CLIPS_PER_GROUP + 1) +
                                    ".mp4: " + utf8_tail(long_error_output(), 600));
  const std::vector<std::string> logs = recorder.logs();
  // A clip's counter comes when the run reaches it: the failing group's run reached its first.
  ASSERT_EQ(logs.size(), files.size() + 1);
  EXPECT_EQ(logs[2], "[2/" + std::to_string(files.size()) + "] b.mp4");
  EXPECT_EQ(logs[3], "Handle: 0.50s – 1.50s");
  EXPECT_EQ(logs.back(), "[" + std::to_string(files.size() - 1) + "/" +
                             std::to_string(files.size()) + "] " + failing + ".mp4");
  const std::string calls = tools_.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 3) << calls;
  EXPECT_NE(calls.find("-ss 0.5 -t 1.0 -i /clips/b.mp4 "), std::string::npos) << calls;
  EXPECT_TRUE(no_temporary_files_left());
}

TEST_F(MasterGroupsFailures, AFailingJoinQuotesItsErrorTail) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  const std::string list_copy = path_to_utf8(scratch_ / "list_copy.txt");
  const Recorder recorder =
      run({"/clips/a.mp4", "/clips/b.MOV"},
          "for last; do :; done\ncase \"$*\" in *-f\\ concat*) cp \"$8\" '" + list_copy + "'; " +
              PRINT_LONG_ERROR + "; exit 1 ;; esac\n: > \"$last\"");

  EXPECT_EQ(recorder.outcome(), "err: Concat Fehler: " + utf8_tail(long_error_output(), 800));
  EXPECT_EQ(recorder.logs().back(), "Füge Clips zusammen ...");
  EXPECT_EQ(read_text_file(list_copy), "file 'part_0000.mov'\n");
  EXPECT_TRUE(no_temporary_files_left());
}

TEST_F(MasterGroupsFailures, AClipWithoutAPictureFailsAtItsTurnOnTheRouteClipByClip) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  Recorder recorder;
  tools_.script("ffprobe",
                "case \"$*\" in *ton.mp4*) echo '{\"streams\": [{\"codec_type\": \"audio\"}], "
                "\"format\": {\"duration\": \"1.0\"}}' ;; *) echo '{\"streams\": [{\"codec_type\": "
                "\"video\"}], \"format\": "
                "{\"duration\": \"1.0\"}}' ;; esac");
  tools_.script("ffmpeg", "echo \"$@\" >> '" + tools_.calls_file() + "'");
  run_master_mp4({"/clips/a.mp4", "/clips/ton.mp4"}, export_cfg(path_to_utf8(scratch_ / "out")),
                 recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch_));
  EXPECT_EQ(recorder.outcome(),
            "err: Fehler bei ton.mp4: kein Bild, die Datei enthält keine Videospur");
  const std::string calls = tools_.calls();
  EXPECT_NE(calls.find("norm_0000.mp4"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("filter_complex"), std::string::npos) << calls;
}

namespace {

// The decoded sound of a file, its first channel, at its own rate.
std::vector<float> decoded_sound(const fs::path& file) {
  const ProcessResult decoded =
      run_process({"ffmpeg", "-v", "error", "-nostdin", "-i", path_to_utf8(file), "-map", "0:a:0",
                   "-af", "pan=mono|c0=c0", "-c:a", "pcm_f32le", "-f", "f32le", "-"},
                  120, OutputDecoding::raw);
  EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
  std::vector<float> samples(decoded.out.size() / sizeof(float));
  std::memcpy(samples.data(), decoded.out.data(), samples.size() * sizeof(float));
  return samples;
}

// The longest run of samples below -60 dB between `from` and `to`.
size_t longest_dropout(const std::vector<float>& sound, size_t from, size_t to) {
  size_t longest = 0;
  size_t run = 0;
  for (size_t i = from; i < std::min(to, sound.size()); ++i) {
    run = std::fabs(sound[i]) < 1e-3f ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

struct TestClip {
  const char* name;
  const char* picture;  // testsrc2 size and rate
  const char* sound;    // sine frequency and rate; nullptr: none
  double seconds;
  std::optional<std::pair<double, double>> handles;
};

}  // namespace

TEST(MasterGroupsMedia, TheJoinsKeepTheSoundAndTheLengthAddsUp) {
  ScopedTempDir scratch;
  // Nine clips, more than one group: frame sizes, rates and sound formats of all kinds, handles,
  // a clip without sound, and joins between groups. Each lasts whole frames of its own, so its
  // sound runs as long as its picture.
  static_assert(CLIPS_PER_GROUP < 9, "the clips fill more than one group");
  const TestClip clips[] = {
      {"a.mp4", "size=320x240:rate=30", "frequency=440:sample_rate=48000", 0.6, {{0.1, 0.5}}},
      {"b.mkv", "size=240x320:rate=25", "frequency=300:sample_rate=44100", 0.44, std::nullopt},
      {"c.mp4", "size=176x144:rate=30000/1001", nullptr, 0.4, std::nullopt},
      {"d.mp4", "size=320x240:rate=24", "frequency=520:sample_rate=32000", 0.5, std::nullopt},
      {"e.mp4", "size=320x180:rate=50", "frequency=660:sample_rate=48000", 0.36, {{0.0, 0.3}}},
      {"f.mp4", "size=320x240:rate=30", "frequency=350:sample_rate=48000", 0.4, std::nullopt},
      {"g.mp4", "size=320x240:rate=30", "frequency=700:sample_rate=22050", 0.5, std::nullopt},
      {"h.mp4", "size=200x200:rate=15", "frequency=380:sample_rate=48000", 0.4, std::nullopt},
      {"i.mp4", "size=320x240:rate=30", "frequency=480:sample_rate=48000", 0.5, {{0.05, 0.45}}},
  };
  std::vector<std::string> files;
  std::vector<double> spans;
  std::vector<bool> sounding;
  for (const TestClip& clip : clips) {
    const fs::path plain = scratch / ("plain_" + std::string(clip.name));
    const fs::path path = scratch / clip.name;
    std::vector<std::string> args = {"-f", "lavfi", "-i", std::string("testsrc2=") + clip.picture};
    if (clip.sound)
      args.insert(args.end(), {"-f", "lavfi", "-i", std::string("sine=") + clip.sound});
    args.insert(args.end(), {"-t", double_text(clip.seconds), "-c:v", "libx264", "-preset",
                             "ultrafast", "-pix_fmt", "yuv420p", path_to_utf8(plain)});
    run_ffmpeg(args);
    std::vector<std::string> tag = {"-i", path_to_utf8(plain), "-c", "copy"};
    if (clip.handles) {
      tag.insert(tag.end(),
                 {"-metadata", "TAVELMOR_C_IN=" + tag_seconds_text(clip.handles->first),
                  "-metadata", "TAVELMOR_C_OUT=" + tag_seconds_text(clip.handles->second),
                  "-movflags", "use_metadata_tags"});
    }
    tag.push_back(path_to_utf8(path));
    run_ffmpeg(tag);
    files.push_back(path_to_utf8(path));
    const ClipFacts facts = get_duration_and_handles(files.back());
    spans.push_back(master_clip_cut(facts.duration, facts.handles).dur);
    sounding.push_back(clip.sound != nullptr);
  }

  Recorder recorder;
  run_master_mp4(files, export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));
  const fs::path master = scratch / "out" / "master_video.mp4";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
  EXPECT_EQ(recorder.logs()[1], "[1/9] a.mp4");
  EXPECT_EQ(recorder.logs()[2], "Handle: 0.10s – 0.50s");

  const Json probed = probe(master);
  const Json video = streams_of(probed, "video").at(0);
  const Json audio = streams_of(probed, "audio").at(0);
  EXPECT_EQ(video["codec_name"], "h264");
  EXPECT_EQ(video["width"], 1080);
  EXPECT_EQ(video["height"], 1920);
  EXPECT_EQ(video["r_frame_rate"], "60/1");
  EXPECT_EQ(audio["codec_name"], "aac");
  ASSERT_EQ(audio["sample_rate"], "48000") << "the first clip's sound gives the format";
  double sum = 0.0;
  for (const double span : spans)
    sum += span;
  EXPECT_NEAR(std::stod(video["nb_frames"].get<std::string>()) / 60.0, sum, 1.0 / 60);
  EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), sum, 1.0 / 60);
  EXPECT_NEAR(std::stod(audio["duration"].get<std::string>()), sum, 1.0 / 60);

  // Across each join between clips with sound there is no dropout: none as long as one AAC frame
  // (1024 samples), none even of 3 ms. The clip without sound is silent.
  const std::vector<float> sound = decoded_sound(master);
  // Decoded, the sound also holds the encoder's padding of its last frame.
  EXPECT_GE(sound.size() / 48000.0, sum - 1.0 / 60);
  double at = 0.0;
  for (size_t i = 0; i < spans.size(); ++i) {
    const size_t from = static_cast<size_t>(at * 48000);
    at += spans[i];
    const size_t to = static_cast<size_t>(at * 48000);
    if (!sounding[i]) {
      EXPECT_GT(longest_dropout(sound, from + 2400, to - 2400), to - from - 4800 - 10) << i;
      continue;
    }
    EXPECT_LE(longest_dropout(sound, from + 2400, to - 2400), 1024u) << "within clip " << i;
    if (i + 1 < spans.size() && sounding[i + 1]) {
      EXPECT_LE(longest_dropout(sound, to - 2400, to + 2400), 144u) << "join after clip " << i;
    }
  }
}

// Recordings as devices write them, straight into the master: a screen recorder's near-silent
// desktop track before the voice, a browser's WebM that states no length, a phone's HLG picture
// and a camera's anamorphic one. The master carries the voice, lasts what the clips last, and
// shows each picture as it is shown, in BT.709.
TEST(MasterGroupsMedia, RecordingsAsDevicesWriteThemJoinWithTheirSpeechAndTheirShownPicture) {
  ScopedTempDir scratch;
  make_two_track_recording(scratch / "bildschirm.mkv", {0.3, 0.3, 0.4});
  make_browser_webm(scratch / "browser.webm", {0.4});
  make_hdr_recording(scratch / "telefon.mov", "arib-std-b67", 0.3, 0);
  make_anamorphic_recording(scratch / "kamera.mkv", 0.3);
  std::vector<std::string> files;
  std::vector<double> starts = {0.0};
  for (const char* name : {"bildschirm.mkv", "browser.webm", "telefon.mov", "kamera.mkv"}) {
    files.push_back(path_to_utf8(scratch / name));
    starts.push_back(starts.back() + get_duration_and_handles(files.back()).duration);
  }
  EXPECT_NEAR(starts[2] - starts[1], 0.4, 0.05) << "the WebM's length, measured";

  Recorder recorder;
  run_master_mp4(files, export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));
  const fs::path master = scratch / "out" / "master_video.mov";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
  EXPECT_NEAR(probed_duration(master), starts.back(), 2.0 / 60);
  EXPECT_GT(sound_level(master, 0, 0.65, 0.3), -25.0) << "the voice of the second track";
  const Json video = streams_of(probe(master), "video").at(0);
  EXPECT_EQ(video["color_primaries"], "bt709");
  EXPECT_EQ(video["color_transfer"], "bt709");
  EXPECT_EQ(video["color_space"], "bt709");
  EXPECT_NEAR(centre_luma(master, starts[2] + 0.1), TEST_GREY_LUMA, 3.0);
  EXPECT_EQ(content_box(master, starts[3] + 0.1), "1080x608");
}

// Two clips recorded 8 dB apart, the louder with peaks well above its tone: the master's sound is
// measured once it is joined and brought to the target in the join, its peaks held below -1 dBTP
// after the AAC encoder.
TEST(MasterGroupsMedia, TheMasterIsBroughtToTheLoudnessTarget) {
  ScopedTempDir scratch;
  make_marked_talk(scratch / "leise.mp4", {0.1, 2, 0.4, 0.1, 0.1}, 0.08);
  make_marked_talk(scratch / "laut.mp4", {0.1, 2, 0.4, 0.1, 0.1}, 0.2, 0.1);
  Json cfg = export_cfg(path_to_utf8(scratch / "out"));
  cfg["loudness_target"] = -16.0;
  Recorder recorder;
  std::vector<std::string> logs;
  run_master_mp4(
      {path_to_utf8(scratch / "leise.mp4"), path_to_utf8(scratch / "laut.mp4")}, cfg,
      [&](const std::string& m) { logs.push_back(m); }, recorder.done(), recorder.err(),
      scratch_paths(scratch));
  const fs::path master = scratch / "out" / "master_video.mp4";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
  EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const std::string& m) {
    return m.rfind("Lautheit: ", 0) == 0 && m.find("Ziel -16.0 LUFS") != std::string::npos;
  }));
  const MeasuredLoudness loudness = measured_loudness(master);
  EXPECT_NEAR(loudness.integrated, -16.0, 1.0);
  EXPECT_LE(loudness.true_peak, -1.0);
}
