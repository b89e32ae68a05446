#include "export/master_mp4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "export/export_test_support.h"
#include "media/sound_tracks.h"
#include "settings/utf8.h"
#include "support/device_media.h"

namespace {

// The silences FFmpeg finds in a file's sound, as (start, end) pairs.
std::vector<std::pair<double, double>> silences_in(const fs::path& file) {
  const ProcessResult result =
      run_process({"ffmpeg", "-nostdin", "-hide_banner", "-i", path_to_utf8(file), "-map", "0:a:0",
                   "-af", "silencedetect=n=-40dB:d=0.2", "-f", "null", "-"},
                  120, OutputDecoding::replace_invalid);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::pair<double, double>> found;
  static const std::regex START(R"(silence_start: (-?[0-9.]+))");
  static const std::regex END(R"(silence_end: (-?[0-9.]+))");
  std::smatch match;
  std::string text = result.err;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), START);
       it != std::sregex_iterator(); ++it)
    found.push_back({std::stod((*it)[1]), -1.0});
  size_t i = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), END);
       it != std::sregex_iterator() && i < found.size(); ++it, ++i)
    found[i].second = std::stod((*it)[1]);
  return found;
}

bool is_empty_folder(const fs::path& folder) {
  return fs::is_empty(folder);
}

}  // namespace

TEST(MasterMp4Names, ExtensionAndNormalisedClipNames) {
  EXPECT_EQ(master_extension({"/a/x.mp4", "/a/y.mkv"}), ".mp4");
  EXPECT_EQ(master_extension({"/a/x.mp4", "/a/Y.MOV", "/a/z.mp4"}), ".mov");
  EXPECT_EQ(master_extension({"/a/mov", "/a/.mov", "/a.mov/x.mp4"}), ".mp4");
  EXPECT_EQ(normalized_clip_name(0, ".mp4"), "norm_0000.mp4");
  EXPECT_EQ(normalized_clip_name(41, ".mov"), "norm_0041.mov");
  EXPECT_EQ(normalized_clip_name(9999, ".mp4"), "norm_9999.mp4");
  EXPECT_EQ(normalized_clip_name(10000, ".mp4"), "norm_10000.mp4");
}

TEST(MasterMp4ClipCut, HandlesClampingAndTheWholeClipRule) {
  // No handles: the whole clip, no message.
  MasterClipCut cut = master_clip_cut(12.5, std::nullopt);
  EXPECT_EQ(cut.t_start, 0.0);
  EXPECT_EQ(cut.dur, 12.5);
  EXPECT_FALSE(cut.handle_message);

  // The end is kept 0.05 s before the file's end.
  cut = master_clip_cut(19.5, HandlePair{0.0, 20.0});
  EXPECT_EQ(cut.t_start, 0.0);
  EXPECT_EQ(double_text(cut.dur), "19.45");
  EXPECT_EQ(cut.handle_message, "Handle: 0.00s – 19.45s");

  cut = master_clip_cut(12.0, HandlePair{1.234, 10.5});
  EXPECT_EQ(cut.t_start, 1.234);
  EXPECT_EQ(double_text(cut.dur), "9.266");
  EXPECT_EQ(cut.handle_message, "Handle: 1.23s – 10.50s");

  // Spans under 0.3 s (or negative) use the whole clip; the message still shows the handles.
  for (const HandlePair handles : {HandlePair{5.0, 5.2}, HandlePair{5.0, 4.0}}) {
    cut = master_clip_cut(8.0, handles);
    EXPECT_EQ(cut.t_start, 0.0);
    EXPECT_EQ(cut.dur, 8.0);
    EXPECT_EQ(cut.handle_message, "Handle: 5.00s – " + fixed_text(handles.c_out, 2) + "s");
  }
  cut = master_clip_cut(8.0, HandlePair{5.0, 5.5});
  EXPECT_EQ(cut.t_start, 5.0);
}

// The route clip by clip, run by run: a clip cut to its span and one without sound, which gets
// the silence of the other's format, both fitted to the frame at 60 fps, then joined.
TEST(MasterMp4Media, TheClipByClipRunsFitEachClipAndJoinThem) {
  ScopedTempDir scratch;
  make_clip(scratch / "a.mp4", 1.5);
  make_clip(scratch / "b.mov", 1.0, false);
  const FrameSize frame{64, 112};
  MasterClipCut cut;
  cut.t_start = 0.4;
  cut.dur = 0.6;
  const ClipAudio sound = parse_clip_audio(probe_json(scratch / "a.mp4"));
  ASSERT_EQ(sound.presence, AudioPresence::present);
  const auto normalise = [&](const std::string& clip, const std::optional<ClipAudio>& silence,
                             const std::string& name) {
    const ProcessResult run =
        run_process(normalisation_command(path_to_utf8(scratch / clip), cut, frame,
                                          path_to_utf8(scratch / name), silence),
                    120, OutputDecoding::replace_invalid);
    EXPECT_EQ(run.exit_code, 0) << run.err;
  };
  normalise("a.mp4", std::nullopt, "norm_0000.mp4");
  normalise("b.mov", sound, "norm_0001.mp4");
  for (const char* name : {"norm_0000.mp4", "norm_0001.mp4"}) {
    const Json probed = probe(scratch / name);
    const std::vector<Json> pictures = streams_of(probed, "video");
    const std::vector<Json> sounds = streams_of(probed, "audio");
    ASSERT_EQ(pictures.size(), 1u) << name;
    ASSERT_EQ(sounds.size(), 1u) << name;
    EXPECT_EQ(pictures[0]["width"], 64) << name;
    EXPECT_EQ(pictures[0]["height"], 112) << name;
    EXPECT_EQ(pictures[0]["pix_fmt"], "yuv420p") << name;
    EXPECT_EQ(pictures[0]["sample_aspect_ratio"], "1:1") << name;
    EXPECT_EQ(pictures[0]["r_frame_rate"], "60/1") << name;
    EXPECT_EQ(sounds[0]["codec_name"], "aac") << name;
    EXPECT_EQ(sounds[0]["sample_rate"], std::to_string(sound.sample_rate)) << name;
    EXPECT_EQ(sounds[0]["channels"], sound.channels) << name;
    EXPECT_NEAR(probed_duration(scratch / name), 0.6, 0.05) << name;
  }

  write_text_file(scratch / "list.txt", concat_list_text({"norm_0000.mp4", "norm_0001.mp4"}));
  const ProcessResult joined = run_process(
      concat_command(path_to_utf8(scratch / "list.txt"), path_to_utf8(scratch / "master.mp4")), 120,
      OutputDecoding::replace_invalid);
  ASSERT_EQ(joined.exit_code, 0) << joined.err;
  const Json master = probe(scratch / "master.mp4");
  ASSERT_EQ(streams_of(master, "video").size(), 1u);
  EXPECT_EQ(streams_of(master, "video")[0]["profile"], "High");
  EXPECT_EQ(streams_of(master, "audio").size(), 1u);
  EXPECT_NEAR(probed_duration(scratch / "master.mp4"), 1.2, 0.1);
}

TEST(MasterMp4ConcatList, NamesRelativeToTheListWithQuotesEscaped) {
  EXPECT_EQ(concat_list_text({"norm_0000.mp4", "norm_0001.mp4"}),
            "file 'norm_0000.mp4'\nfile 'norm_0001.mp4'\n");
  EXPECT_EQ(concat_list_text({"O'Brien.mp4"}), "file 'O'\\''Brien.mp4'\n");
  EXPECT_EQ(concat_list_text({}), "");
}

TEST(MasterMp4ClipAudio, ReadsTheFirstAudioStreamOfTheProbe) {
  ClipAudio audio = parse_clip_audio(
      R"({"programs": [], "streams": [{"codec_type": "video"}, {"codec_type": "audio",
          "sample_rate": "44100", "channels": 1, "channel_layout": "mono"}, {"codec_type":
          "audio", "sample_rate": "8000", "channels": 2}]})");
  EXPECT_EQ(audio.presence, AudioPresence::present);
  EXPECT_EQ(audio.sample_rate, 44100);
  EXPECT_EQ(audio.channel_layout, "mono");

  audio = parse_clip_audio(
      R"({"streams": [{"codec_type": "audio", "sample_rate": "32000", "channels": 1}]})");
  EXPECT_EQ(audio.sample_rate, 32000);
  EXPECT_EQ(audio.channel_layout, "mono");

  audio = parse_clip_audio(R"({"streams": [{"codec_type": "audio", "channels": 2}]})");
  EXPECT_EQ(audio.presence, AudioPresence::present);
  EXPECT_EQ(audio.sample_rate, 48000);
  EXPECT_EQ(audio.channel_layout, "stereo");

  EXPECT_EQ(parse_clip_audio(R"({"programs": [], "streams": []})").presence, AudioPresence::absent);
  EXPECT_EQ(parse_clip_audio(R"({"streams": [{"codec_type": "video"}, {"codec_type": "data"}]})")
                .presence,
            AudioPresence::absent);
  for (const char* broken : {"", "{", "[]", R"({"streams": {}})", R"({"format": {}})"})
    EXPECT_EQ(parse_clip_audio(broken).presence, AudioPresence::unknown) << broken;
}

namespace {

// ffprobe answering every clip with 2 s of stereo sound; "b.mp4" carries handles.
const char* const PROBE_STAND_IN =
    R"(sound='{"codec_type": "audio", "sample_rate": "48000", "channels": 2}'
both="\"streams\": [{\"codec_type\": \"video\"}, $sound]"
case "$*" in
  *-select_streams*) echo "{\"streams\": [$sound]}" ;;
  *b.mp4*) echo "{$both, \"format\": {\"duration\": \"2.000000\", \"tags\": {\"TAVELMOR_C_IN\": \"0.5\", \"TAVELMOR_C_OUT\": \"1.5\"}}}" ;;
  *) echo "{$both, \"format\": {\"duration\": \"2.000000\"}}" ;;
esac)";

// The same clips, save that c.mp4 cannot be probed and the probe of b.MOV does not tell its sound:
// each sends the export on the route clip by clip.
const std::string PROBE_STAND_IN_BY_CLIP =
    R"(case "$*" in
  *c.mp4*) echo "c.mp4: nicht lesbar" >&2; exit 1 ;;
  *b.MOV*) echo '{"streams": [{"codec_type": "video"}, {"codec_type": "audio", "channel_layout": 2}], "format": {"duration": "2.000000"}}'; exit 0 ;;
esac
)" + std::string(PROBE_STAND_IN);

// Long error output of 100 numbered lines.
std::string long_error_output() {
  std::string text;
  for (int i = 0; i < 100; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "Fehlerzeile %03d: etwas ging schief\n", i);
    text += line;
  }
  return text;
}

const char* const PRINT_LONG_ERROR =
    R"(i=0; while [ $i -lt 100 ]; do printf 'Fehlerzeile %03d: etwas ging schief\n' $i >&2; i=$((i+1)); done)";

}  // namespace

TEST(MasterMp4Failures, FailingSecondClipStopsTheExportAndLeavesNoTemporaryFolder) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  StandInTools tools;
  fs::create_directories(scratch / "tmp");
  ScopedEnv tmpdir("TMPDIR", path_to_utf8(scratch / "tmp"));
  tools.script("ffprobe", PROBE_STAND_IN_BY_CLIP);
  tools.script("ffmpeg", "echo \"$@\" >> '" + tools.calls_file() +
                             "'\ncase \"$*\" in *norm_0001*) " + PRINT_LONG_ERROR +
                             "; exit 1 ;; esac\nexit 0");

  Recorder recorder;
  run_master_mp4({"/clips/a.mp4", "/clips/b.mp4", "/clips/c.mp4"},
                 export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));

  EXPECT_EQ(recorder.outcome(), "err: Fehler bei b.mp4: " + utf8_tail(long_error_output(), 600));
  const std::vector<std::string> expected_logs = {"Master-Export wird als MP4 erstellt.",
                                                  "[1/3] a.mp4", "[2/3] b.mp4",
                                                  "Handle: 0.50s – 1.50s"};
  EXPECT_EQ(recorder.logs(), expected_logs);
  const std::string calls = tools.calls();
  EXPECT_NE(calls.find("-ss 0.0 -i /clips/a.mp4 -t 2.0 "), std::string::npos) << calls;
  EXPECT_NE(calls.find("-ss 0.5 -i /clips/b.mp4 -t 1.0 "), std::string::npos) << calls;
  EXPECT_EQ(calls.find("c.mp4"), std::string::npos) << calls;
  EXPECT_TRUE(is_empty_folder(scratch / "tmp"));
}

TEST(MasterMp4Failures, FailingJoinQuotesTheErrorTailAndRemovesTheTemporaryFolder) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  StandInTools tools;
  fs::create_directories(scratch / "tmp");
  ScopedEnv tmpdir("TMPDIR", path_to_utf8(scratch / "tmp"));
  tools.script("ffprobe", PROBE_STAND_IN_BY_CLIP);
  const std::string list_copy = path_to_utf8(scratch / "list_copy.txt");
  tools.script("ffmpeg", "case \"$*\" in *concat*) cp \"$8\" '" + list_copy + "'; " +
                             PRINT_LONG_ERROR + "; exit 1 ;; esac\nexit 0");

  Recorder recorder;
  run_master_mp4({"/clips/a.mp4", "/clips/b.MOV"}, export_cfg(path_to_utf8(scratch / "out")),
                 recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));

  EXPECT_EQ(recorder.outcome(), "err: Concat Fehler: " + utf8_tail(long_error_output(), 800));
  EXPECT_EQ(recorder.logs().front(), "MOV-Quelle erkannt – Master-Export bleibt MOV.");
  EXPECT_EQ(recorder.logs().back(), "Füge Clips zusammen ...");
  EXPECT_EQ(read_text_file(list_copy), "file 'norm_0000.mov'\nfile 'norm_0001.mov'\n");
  EXPECT_TRUE(is_empty_folder(scratch / "tmp"));
  EXPECT_TRUE(fs::is_directory(scratch / "out"));
}

TEST(MasterMp4Failures, UnknownResolutionAndUnreadableClipsEndInErr) {
  SKIP_ON_WINDOWS("needs the real ffprobe");
  ScopedTempDir scratch;
  fs::create_directories(scratch / "tmp");
  ScopedEnv tmpdir("TMPDIR", path_to_utf8(scratch / "tmp"));

  Recorder unknown_frame;
  run_master_mp4({"/clips/a.mp4"}, export_cfg(path_to_utf8(scratch / "out"), "8K"),
                 unknown_frame.log(), unknown_frame.done(), unknown_frame.err(),
                 scratch_paths(scratch));
  EXPECT_EQ(unknown_frame.outcome(), "err: Unbekannte Auflösung: 8K");
  EXPECT_TRUE(unknown_frame.logs().empty());

  Json loud = export_cfg(path_to_utf8(scratch / "out"));
  loud["loudness_target"] = 6;
  Recorder no_target;
  run_master_mp4({"/clips/a.mp4"}, loud, no_target.log(), no_target.done(), no_target.err(),
                 scratch_paths(scratch));
  EXPECT_EQ(no_target.outcome(), "err: Ungültiger Wert für loudness_target: 6");
  EXPECT_TRUE(no_target.logs().empty());

  Recorder missing;
  run_master_mp4({path_to_utf8(scratch / "gone.mp4")}, export_cfg(path_to_utf8(scratch / "out")),
                 missing.log(), missing.done(), missing.err(), scratch_paths(scratch));
  EXPECT_EQ(missing.outcome(), "err: ffprobe konnte die Videolänge nicht lesen: gone.mp4\n");
  EXPECT_TRUE(is_empty_folder(scratch / "tmp"));
}

TEST(MasterMp4Media, ThreeClipsWithHandlesJoinIntoOneMasterFromAnApostropheFolder) {
  ScopedTempDir scratch;
  const fs::path tmp = scratch / "O'Brien's Temp";
  fs::create_directories(tmp);
  ScopedEnv tmpdir("TMPDIR", path_to_utf8(tmp));
  make_clip(scratch / "a.mp4", 1.0, true, std::make_pair(0.25, 0.75));
  make_clip(scratch / "b.mp4", 0.5);
  make_clip(scratch / "c.mkv", 0.8, true, std::make_pair(0.2, 5.0));
  const std::vector<std::string> files = {path_to_utf8(scratch / "a.mp4"),
                                          path_to_utf8(scratch / "b.mp4"),
                                          path_to_utf8(scratch / "c.mkv")};
  const double expected = 0.5 + get_duration(files[1]) + (get_duration(files[2]) - 0.05 - 0.2);

  Recorder recorder;
  run_master_mp4(files, export_cfg(path_to_utf8(scratch / "out"), "Querformat 1920x1080"),
                 recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));

  const fs::path master = scratch / "out" / "master_video.mp4";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
  const std::vector<std::string> logs = recorder.logs();
  ASSERT_EQ(logs.size(), 8u);
  EXPECT_EQ(logs[0], "Master-Export wird als MP4 erstellt.");
  EXPECT_EQ(logs[1], "[1/3] a.mp4");
  EXPECT_EQ(logs[2], "Handle: 0.25s – 0.75s");
  EXPECT_EQ(logs[3], "[2/3] b.mp4");
  EXPECT_EQ(logs[4], "[3/3] c.mkv");
  EXPECT_EQ(logs[5], "Handle: 0.20s – " + fixed_text(get_duration(files[2]) - 0.05, 2) + "s");
  EXPECT_EQ(logs[6], "Füge Clips zusammen ...");
  EXPECT_EQ(logs[7], "Gespeichert: " + path_to_utf8(master));

  const Json probed = probe(master);
  const std::vector<Json> video = streams_of(probed, "video");
  const std::vector<Json> audio = streams_of(probed, "audio");
  ASSERT_EQ(video.size(), 1u);
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(video[0]["codec_name"], "h264");
  EXPECT_EQ(video[0]["width"], 1920);
  EXPECT_EQ(video[0]["height"], 1080);
  EXPECT_EQ(video[0]["r_frame_rate"], "60/1");
  EXPECT_EQ(audio[0]["codec_name"], "aac");
  EXPECT_NEAR(std::stod(video[0]["duration"].get<std::string>()), expected, 2.5 / 60);
  EXPECT_TRUE(is_empty_folder(tmp));
}

TEST(MasterMp4Media, SoundlessClipsKeepTheOtherClipsSoundInEitherOrder) {
  ScopedTempDir scratch;
  make_clip(scratch / "still.mp4", 0.5, false);
  make_clip(scratch / "tone.mp4", 0.5);
  const std::string still = path_to_utf8(scratch / "still.mp4");
  const std::string tone = path_to_utf8(scratch / "tone.mp4");

  struct Order {
    std::vector<std::string> files;
    double silence_from;
    double silence_to;
    long probes;
  };
  const double length = get_duration(still);
  // One probe of each clip tells its sound too, also the sound that a silence before it takes.
  const Order orders[] = {{{still, tone}, 0.0, length, 2},
                          {{tone, still}, get_duration(tone), get_duration(tone) + length, 2}};
  StandInTools tools;
  tools.script("ffprobe", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                              real_program("ffprobe") + "' \"$@\"");
  for (const Order& order : orders) {
    const fs::path out = scratch / (order.files[0] == still ? "still_first" : "still_last");
    fs::remove(path_from_utf8(tools.calls_file()));
    Recorder recorder;
    run_master_mp4(order.files, export_cfg(path_to_utf8(out)), recorder.log(), recorder.done(),
                   recorder.err(), scratch_paths(scratch));
    const fs::path master = out / "master_video.mp4";
    ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
    const std::string probes = tools.calls();
    EXPECT_EQ(std::count(probes.begin(), probes.end(), '\n'), order.probes) << probes;

    const Json probed = probe(master);
    ASSERT_EQ(streams_of(probed, "audio").size(), 1u) << out;
    const double audio_length =
        std::stod(streams_of(probed, "audio")[0]["duration"].get<std::string>());
    const double video_length =
        std::stod(streams_of(probed, "video")[0]["duration"].get<std::string>());
    EXPECT_NEAR(audio_length, video_length, 0.1);
    // The only silence is where the soundless clip lies.
    const auto silences = silences_in(master);
    ASSERT_EQ(silences.size(), 1u) << out;
    EXPECT_NEAR(silences[0].first, order.silence_from, 0.06);
    EXPECT_NEAR(silences[0].second, order.silence_to, 0.06);
  }
}

TEST(MasterMp4Media, AMovClipMakesTheMasterMovAndLeavesAnOldMp4Alone) {
  ScopedTempDir scratch;
  make_clip(scratch / "take.MOV", 0.5);
  write_text_file(scratch / "out" / "master_video.mp4", "old mp4");
  write_text_file(scratch / "out" / "master_video.mov", "old mov");

  Recorder recorder;
  run_master_mp4({path_to_utf8(scratch / "take.MOV")}, export_cfg(path_to_utf8(scratch / "out")),
                 recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));

  const fs::path master = scratch / "out" / "master_video.mov";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(master));
  EXPECT_EQ(recorder.logs().front(), "MOV-Quelle erkannt – Master-Export bleibt MOV.");
  EXPECT_EQ(read_text_file(scratch / "out" / "master_video.mp4"), "old mp4");
  const Json probed = probe(master);
  EXPECT_EQ(probed["format"]["tags"]["major_brand"], "qt  ");
  EXPECT_EQ(streams_of(probed, "video").at(0)["width"], 1080);
  EXPECT_EQ(streams_of(probed, "video").at(0)["height"], 1920);
}

// The route clip by clip keeps, of a recording with two sound tracks, the one with the voice, and
// brings an HLG picture to BT.709.
TEST(MasterMp4Media, TheClipByClipRunsKeepTheVoiceAndBringHdrToBt709) {
  ScopedTempDir scratch;
  make_two_track_recording(scratch / "bildschirm.mkv", {0.6});
  make_hdr_recording(scratch / "telefon.mkv", "arib-std-b67", 0.4, 0);
  for (const std::string name : {"bildschirm", "telefon"}) {
    const std::string clip = path_to_utf8(scratch / (name + ".mkv"));
    ClipSource source;
    source.fit = picture_fit(get_duration_and_handles(clip).picture, available_sdr_conversion);
    source.sound_tracks = name == "bildschirm" ? 2 : 1;
    source.sound_track = speech_track(clip, source.sound_tracks);
    MasterClipCut cut;
    cut.dur = 0.4;
    const ProcessResult run = run_process(
        normalisation_command(clip, cut, {64, 112}, path_to_utf8(scratch / (name + ".mp4")),
                              std::nullopt, source, colour_tag_args(source.fit)),
        120, OutputDecoding::replace_invalid);
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  EXPECT_EQ(streams_of(probe(scratch / "bildschirm.mp4"), "audio").size(), 1u);
  EXPECT_GT(sound_level(scratch / "bildschirm.mp4", 0, 0.1, 0.2), -25.0);
  EXPECT_EQ(streams_of(probe(scratch / "telefon.mp4"), "video").at(0)["color_transfer"], "bt709");
  EXPECT_NEAR(centre_luma(scratch / "telefon.mp4"), TEST_GREY_LUMA, 3.0);
}

// The route clip by clip measures the normalised clips' sound through the concat list and brings
// it to the target in the join.
TEST(MasterMp4Media, TheJoinClipByClipBringsTheSoundToTheLoudnessTarget) {
  ScopedTempDir scratch;
  make_marked_talk(scratch / "leise.mp4", {0.1, 2, 0.4, 0.1, 0.1}, 0.08);
  make_marked_talk(scratch / "laut.mp4", {0.1, 2, 0.4, 0.1, 0.1}, 0.2, 0.1);
  MasterClipCut cut;
  cut.dur = 1.1;
  for (const std::string name : {"leise", "laut"}) {
    const ProcessResult run = run_process(
        normalisation_command(path_to_utf8(scratch / (name + ".mp4")), cut, {64, 112},
                              path_to_utf8(scratch / ("norm_" + name + ".mp4")), std::nullopt),
        120, OutputDecoding::replace_invalid);
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  write_text_file(scratch / "list.txt", concat_list_text({"norm_leise.mp4", "norm_laut.mp4"}));
  std::vector<std::string> logs;
  const std::string filter = master_loudness_filter(
      {"-f", "concat", "-safe", "0", "-i", path_to_utf8(scratch / "list.txt")}, -16.0, 48000,
      [&](const std::string& m) { logs.push_back(m); });
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].rfind("Lautheit: ", 0), 0u) << logs[0];
  const ProcessResult joined =
      run_process(concat_command(path_to_utf8(scratch / "list.txt"),
                                 path_to_utf8(scratch / "master.mp4"), {}, filter),
                  120, OutputDecoding::replace_invalid);
  ASSERT_EQ(joined.exit_code, 0) << joined.err;
  const MeasuredLoudness loudness = measured_loudness(scratch / "master.mp4");
  EXPECT_NEAR(loudness.integrated, -16.0, 1.0);
  EXPECT_LE(loudness.true_peak, -1.0);
  EXPECT_NEAR(probed_duration(scratch / "master.mp4"), 2.2, 0.1);
}
