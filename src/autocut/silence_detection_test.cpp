#include "autocut/silence_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "media/ffmpeg_tools.h"
#include "media/process.h"
#include "settings/number_text.h"
#include "support/test_util.h"

namespace {

struct ReportCase {
  const char* name;
  std::string report;
  std::vector<std::pair<double, double>> silences;
  std::optional<double> open_start;
  int starts;
  int ends;
};

std::vector<std::pair<double, double>> pairs_of(const std::vector<Silence>& silences) {
  std::vector<std::pair<double, double>> pairs;
  for (const Silence& silence : silences)
    pairs.emplace_back(silence.start, silence.end);
  return pairs;
}

const std::string START = "[silencedetect @ 0x55d6bc7c08c0] silence_start: ";
const std::string END = "[silencedetect @ 0x55d6bc7c08c0] silence_end: ";

}  // namespace

TEST(ParseSilenceReport, WalksTheReportInOrder) {
  const ReportCase cases[] = {
      {"no silence lines", "Input #0, wav\nsize=N/A time=00:00:03.00\n", {}, std::nullopt, 0, 0},
      {"plain pairs",
       START + "1.5\n" + END + "2.5 | silence_duration: 1\n" + START + "4\n" + END + "5.25\n",
       {{1.5, 2.5}, {4.0, 5.25}},
       std::nullopt,
       2,
       2},
      {"begins in silence: the first end stands alone and later pairs stay paired",
       END + "1.2 | silence_duration: 1.2\n" + START + "3.0\n" + END + "4.0\n",
       {{0.0, 1.2}, {3.0, 4.0}},
       std::nullopt,
       1,
       2},
      {"an unmatched end at 0 is dropped",
       END + "0\n" + START + "2\n" + END + "3\n",
       {{2.0, 3.0}},
       std::nullopt,
       1,
       2},
      {"a second start replaces the first",
       START + "3.0\n" + START + "4.0\n" + END + "5.0\n",
       {{4.0, 5.0}},
       std::nullopt,
       2,
       1},
      {"an end equal to its start is dropped; the next end is unmatched",
       START + "2.0\n" + END + "2.0\n" + END + "3.5\n",
       {{0.0, 3.5}},
       std::nullopt,
       1,
       2},
      {"an end before its start is dropped", START + "5\n" + END + "4\n", {}, std::nullopt, 1, 1},
      {"a trailing start stays open",
       START + "1\n" + END + "2\n" + START + "9.0\n",
       {{1.0, 2.0}},
       9.0,
       2,
       1},
      {"a negative start does not match; its end counts as unmatched",
       START + "-0.02\n" + END + "0.8\n",
       {{0.0, 0.8}},
       std::nullopt,
       0,
       1},
      {"CR and CR LF end lines too",
       "frame=1 time=0\r" + START + "1\r\n" + END + "2\rframe=2\r" + START + "3\r" + END + "4",
       {{1.0, 2.0}, {3.0, 4.0}},
       std::nullopt,
       2,
       2},
      {"a start and an end on one line: the start wins, the end still counts",
       START + "1 " + "silence_end: 2\n" + END + "3\n",
       {{1.0, 3.0}},
       std::nullopt,
       1,
       2},
      {"a mark without a number is passed over for a later one on the line",
       "silence_start: x silence_start: 6\n" + END + "7\n",
       {{6.0, 7.0}},
       std::nullopt,
       1,
       1},
  };
  for (const ReportCase& c : cases) {
    const SilenceReport report = parse_silence_report(c.report);
    EXPECT_EQ(pairs_of(report.silences), c.silences) << c.name;
    EXPECT_EQ(report.open_start, c.open_start) << c.name;
    EXPECT_EQ(report.start_matches, c.starts) << c.name;
    EXPECT_EQ(report.end_matches, c.ends) << c.name;
  }
}

TEST(ParseSilenceReport, NumbersThatAreNotNumbersFail) {
  EXPECT_THROW(parse_silence_report(START + ".\n"), std::runtime_error);
  EXPECT_THROW(parse_silence_report(START + "1\n" + END + "1.2.3\n"), std::runtime_error);
}

TEST(ParseSilenceReports, AReportOfMoreInstancesThanAskedForFails) {
  const std::string report =
      "[silencedetect @ 0x1] silence_start: 1\n"
      "[silencedetect @ 0x2] silence_start: 1\n";
  EXPECT_EQ(parse_silence_reports(report, 2).size(), 2u);
  EXPECT_THROW(parse_silence_reports(report, 1), std::runtime_error);
  // No instance reported: empty reports, one for each.
  const auto none = parse_silence_reports("size=N/A time=00:00:03.00\r", 2);
  ASSERT_EQ(none.size(), 2u);
  EXPECT_TRUE(none[1].silences.empty());
}

#ifndef _WIN32

namespace {

// A stand-in ffmpeg that prints `report` on standard error and exits with `code`.
void add_reporting_ffmpeg(ScopedStandIns& stand_ins, const std::string& report, int code = 0) {
  write_text_file(stand_ins.folder() / "report.txt", report);
  stand_ins.add("ffmpeg", "/bin/cat '" + (stand_ins.folder() / "report.txt").string() +
                              "' >&2\nexit " + std::to_string(code));
}

}  // namespace

TEST(DetectSilences, AnOpenTrailingSilenceRunsToTheDuration) {
  ScopedStandIns stand_ins(true);
  add_reporting_ffmpeg(stand_ins, START + "1\n" + END + "2\n" + START + "9.0\n");
  stand_ins.add("ffprobe", "echo '{\"format\": {\"duration\": \"10.000000\"}}'");
  std::vector<std::string> lines;
  const auto silences = detect_silences("/rec/take.mkv", "-35dB", "0.5",
                                        [&](const std::string& m) { lines.push_back(m); });
  EXPECT_EQ(pairs_of(silences), (std::vector<std::pair<double, double>>{{1, 2}, {9, 10}}));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "FFmpeg Stille-Erkennung startet: take.mkv",
                       "FFmpeg Stille-Erkennung fertig: 2 Startpunkt(e), 1 Endpunkt(e), 2 "
                       "Pause(n) sauber erkannt"}));
}

TEST(DetectSilences, WithoutADurationTheOpenSilenceIsDropped) {
  ScopedStandIns stand_ins(true);  // no ffprobe to be found
  add_reporting_ffmpeg(stand_ins, START + "1\n" + END + "2\n" + START + "9.0\n");
  const auto silences = detect_silences("take.mkv", "-35dB", "0.5");
  EXPECT_EQ(pairs_of(silences), (std::vector<std::pair<double, double>>{{1, 2}}));

  // A duration the caller has read already needs no probe.
  const auto known = detect_silences("take.mkv", "-35dB", "0.5", {}, 9.5);
  EXPECT_EQ(pairs_of(known), (std::vector<std::pair<double, double>>{{1, 2}, {9, 9.5}}));
  EXPECT_EQ(pairs_of(detect_silences("take.mkv", "-35dB", "0.5", {}, 9.0)),
            (std::vector<std::pair<double, double>>{{1, 2}}));
}

TEST(DetectSilences, AnEmptyReportLogsThreeZeros) {
  ScopedStandIns stand_ins(true);
  add_reporting_ffmpeg(stand_ins, "Input #0\n");
  std::vector<std::string> lines;
  EXPECT_TRUE(detect_silences("a.wav", "-35dB", "0.1", [&](const std::string& m) {
                lines.push_back(m);
              }).empty());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "FFmpeg Stille-Erkennung fertig: 0 Startpunkt(e), 0 Endpunkt(e), 0 Pause(n) sauber "
            "erkannt");
}

TEST(DetectSilences, AFailedRunQuotesTheLast800Characters) {
  ScopedStandIns stand_ins(true);
  const std::string noise(1000, 'x');
  const std::string tail = "Ende: Datei kaputt";
  add_reporting_ffmpeg(stand_ins, "ANFANG" + noise + tail, 1);
  try {
    detect_silences("/rec/Übung 1.mp4", "-35dB", "0.5");
    FAIL() << "no failure";
  } catch (const std::runtime_error& failure) {
    const std::string expected = "FFmpeg Stille-Erkennung fehlgeschlagen: Übung 1.mp4\n" +
                                 noise.substr(noise.size() - (800 - tail.size())) + tail;
    EXPECT_EQ(failure.what(), expected);
  }
}

TEST(DetectSilences, OneRunForSeveralLengthsGivesEachItsOwnReport) {
  ScopedStandIns stand_ins(true);
  // The instance with the shorter length stands first in the chain and reports first; the
  // longer one finds a subset. Lines of no instance (here FFmpeg's input dump) are passed over.
  const std::string shorter = "[silencedetect @ 0x5601] ";
  const std::string longer = "[silencedetect @ 0x5602] ";
  write_text_file(stand_ins.folder() / "report.txt",
                  "Input #0, from 'silence_start: 3.mp4':\n" + shorter + "silence_end: 0.4\n" +
                      shorter + "silence_start: 1\n" + shorter + "silence_end: 2\n" + longer +
                      "silence_start: 1\n" + longer + "silence_end: 2\n" + shorter +
                      "silence_start: 9.0\n" + longer + "silence_start: 9.0\n");
  const fs::path calls = stand_ins.folder() / "calls.txt";
  stand_ins.add("ffmpeg", "echo \"$@\" >> '" + calls.string() + "'\n/bin/cat '" +
                              (stand_ins.folder() / "report.txt").string() + "' >&2");
  const SilenceAnalysis running = start_silence_detection("/rec/a.mkv", "-35dB", {"0.5", "0.1"});
  std::vector<std::string> lines;
  const auto log = [&](const std::string& m) { lines.push_back(m); };
  EXPECT_EQ(pairs_of(finish_silence_detection(running, 0, "/rec/a.mkv", 9.5, log)),
            (std::vector<std::pair<double, double>>{{1, 2}, {9, 9.5}}));
  EXPECT_EQ(pairs_of(finish_silence_detection(running, 1, "/rec/a.mkv", 9.5, log)),
            (std::vector<std::pair<double, double>>{{0, 0.4}, {1, 2}, {9, 9.5}}));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "FFmpeg Stille-Erkennung startet: a.mkv",
                       "FFmpeg Stille-Erkennung fertig: 2 Startpunkt(e), 1 Endpunkt(e), 2 "
                       "Pause(n) sauber erkannt",
                       "FFmpeg Stille-Erkennung startet: a.mkv",
                       "FFmpeg Stille-Erkennung fertig: 2 Startpunkt(e), 2 Endpunkt(e), 3 "
                       "Pause(n) sauber erkannt"}));
  EXPECT_EQ(read_text_file(calls),
            "-hide_banner -nostdin -i /rec/a.mkv -af silencedetect=noise=-35dB:d=0.1,"
            "silencedetect=noise=-35dB:d=0.5 -c:v copy -f null -\n");

  // A length FFmpeg reads but that is no plain number gets a run of its own.
  fs::remove(calls);
  const SilenceAnalysis apart = start_silence_detection("/rec/a.mkv", "-35dB", {"500ms", "0.1"});
  apart.wait();
  const std::string runs = read_text_file(calls);
  EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 2) << runs;

  // A failure comes when the analysis is collected, after its start message.
  add_reporting_ffmpeg(stand_ins, "kaputt", 1);
  const SilenceAnalysis failing = start_silence_detection("/rec/a.mkv", "-35dB", {"0.5", "0.1"});
  lines.clear();
  try {
    finish_silence_detection(failing, 0, "/rec/a.mkv", 9.5, log);
    FAIL() << "no failure";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "FFmpeg Stille-Erkennung fehlgeschlagen: a.mkv\nkaputt");
  }
  EXPECT_EQ(lines, std::vector<std::string>{"FFmpeg Stille-Erkennung startet: a.mkv"});
}

TEST(DetectSilences, WithoutFfmpegTheProcessLayerFails) {
  ScopedStandIns stand_ins(true);
  EXPECT_THROW(detect_silences("a.wav", "-35dB", "0.5"), std::runtime_error);
}

TEST(DetectSilencesMedia, FindsThePausesOfARealRecording) {
  ScopedTempDir scratch;
  const fs::path recording = scratch / "Pausen mit Ä.wav";
  // silence 0-1, tone 1-2, silence 2-3, tone 3-4, silence 4-5 (to the end)
  make_recording(recording, {1.0, 1.0, 1.0, 1.0, 1.0}, false, 0, 0);
  int lines = 0;
  const auto silences =
      detect_silences(recording.string(), "-35dB", "0.5", [&](const std::string&) { ++lines; });
  ASSERT_EQ(silences.size(), 3u);
  const double expected[][2] = {{0.0, 1.0}, {2.0, 3.0}, {4.0, 5.0}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(silences[i].start, expected[i][0], 0.05) << i;
    EXPECT_NEAR(silences[i].end, expected[i][1], 0.05) << i;
  }
  EXPECT_EQ(lines, 2);
}

namespace {

// The silences of the sound FFmpeg picks when it decodes picture and sound alike.
std::vector<std::pair<double, double>> silences_of_full_decode(const fs::path& file,
                                                               const std::string& filter) {
  const ProcessResult run = run_process(
      {"ffmpeg", "-hide_banner", "-nostdin", "-i", file.string(), "-af", filter, "-f", "null", "-"},
      60, OutputDecoding::replace_invalid);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return pairs_of(parse_silence_report(run.err).silences);
}

}  // namespace

TEST(DetectSilencesMedia, AVideoGivesTheSilencesOfAFullDecode) {
  ScopedTempDir scratch;
  const fs::path recording = scratch / "take.mp4";
  make_recording(recording, {0.8, 0.7, 1.0, 0.6, 0.9});
  // The same sound as a stereo track behind a mono track with other pauses: FFmpeg's own choice
  // (the most channels) must stay the one analysed, and it alone.
  const fs::path other_pauses = scratch / "other.wav";
  make_recording(other_pauses, {1.5, 1.0, 1.5}, true, 0, 0);
  const fs::path two_tracks = scratch / "two tracks.mkv";
  run_ffmpeg({"-i", recording.string(), "-i", other_pauses.string(), "-map", "0:v", "-map", "1:a",
              "-map", "0:a", "-c:v", "copy", "-c:a", "flac", "-ac:a:1", "2", two_tracks.string()});

  for (const fs::path& file : {recording, two_tracks}) {
    const auto silences = pairs_of(detect_silences(file.string(), "-35dB", "0.5"));
    ASSERT_EQ(silences.size(), 2u) << file;
    EXPECT_NEAR(silences[0].first, 0.8, 0.05) << file;
    EXPECT_NEAR(silences[1].second, 3.1, 0.05) << file;
    EXPECT_EQ(silences, silences_of_full_decode(file, "silencedetect=noise=-35dB:d=0.5")) << file;
  }
}

TEST(DetectSilencesMedia, OneRunForTwoLengthsFindsWhatARunForEachFinds) {
  ScopedTempDir scratch;
  const fs::path recording = scratch / "takes.mp4";
  // Pauses of 0.15, 0.3 and 0.7 s, then silence to the end.
  make_recording(recording, {0.5, 0.15, 0.5, 0.3, 0.5, 0.7, 0.5, 1.0});
  const std::string fp = recording.string();
  for (const std::vector<std::string>& durs :
       {std::vector<std::string>{"0.5", "0.1"}, std::vector<std::string>{"0.1", "0.25"}}) {
    const SilenceAnalysis running = start_silence_detection(fp, "-35dB", durs);
    for (size_t i = 0; i < durs.size(); ++i) {
      const auto together = pairs_of(finish_silence_detection(running, i, fp, 4.15, {}));
      EXPECT_EQ(together, pairs_of(detect_silences(fp, "-35dB", durs[i], {}, 4.15))) << durs[i];
      EXPECT_EQ(together.size(), durs[i] == "0.5" ? 2u : durs[i] == "0.25" ? 3u : 4u) << durs[i];
    }
  }
}

TEST(DetectSilencesMedia, TheSoundFromASecondOnIsWhatACopyFromThereHolds) {
  ScopedTempDir scratch;
  const fs::path recording = scratch / "Aufnahme.mkv";
  RecordingOptions options;
  options.width = 160;
  options.height = 120;
  options.fps = 10;
  options.keyframe_interval = 50;  // the start lies between two keyframes
  make_recording(recording, {1.0, 1.0, 0.8, 0.4, 0.9, 0.6}, options);
  const double from = 1.25;
  // The copy as the cut once made it: the sound decoded from there into a file of its own.
  const fs::path copy = scratch / "take.wav";
  run_ffmpeg({"-ss", double_text(from), "-i", recording.string(), "-vn", "-c:a", "pcm_s16le",
              copy.string()});
  std::vector<std::string> lines;
  const SoundFrom sound = detect_silences_from(recording.string(), from, "-35dB", "0.2",
                                               [&](const std::string& m) { lines.push_back(m); });
  EXPECT_NEAR(sound.length, get_duration(copy.string()), 1e-5);
  EXPECT_NEAR(sound.length, 4.7 - from, 0.03);
  EXPECT_EQ(pairs_of(sound.silences), pairs_of(detect_silences(copy.string(), "-35dB", "0.2")));
  ASSERT_EQ(sound.silences.size(), 3u);
  EXPECT_NEAR(sound.silences.back().end, sound.length, 1e-5) << "the end silence runs to the end";
  EXPECT_EQ(pairs_of(sound.pauses), pairs_of(sound.silences)) << "no shorter pause length asked";
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "FFmpeg Stille-Erkennung startet: Aufnahme.mkv");

  // Past the end of the sound there is none, and no failure.
  EXPECT_EQ(detect_silences_from(recording.string(), 10.0, "-35dB", "0.2", {}).length, 0.0);
}

TEST(DetectSilencesMedia, AVideoWithoutSoundHasNoSilences) {
  ScopedTempDir scratch;
  const fs::path silent = scratch / "ohne Ton.mp4";
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-t", "1.5", "-c:v", "libx264",
              "-preset", "ultrafast", silent.string()});
  std::vector<std::string> lines;
  EXPECT_TRUE(detect_silences(silent.string(), "-35dB", "0.1", [&](const std::string& m) {
                lines.push_back(m);
              }).empty());
  EXPECT_EQ(lines, (std::vector<std::string>{"FFmpeg Stille-Erkennung startet: ohne Ton.mp4",
                                             "FFmpeg Stille-Erkennung fertig: 0 Startpunkt(e), 0 "
                                             "Endpunkt(e), 0 Pause(n) sauber erkannt"}));
}

#endif

// With several tracks the silences travel as metadata and named printers tell them apart; what
// silencedetect itself prints, and the printers of other tracks, do not count.
TEST(TrackSilenceReports, EachTracksPrintersAreReadInTheirOrder) {
  const std::string report =
      "[silencedetect @ 0x5601] silence_start: 0.000113\n"
      "[ametadata@silence_0_0 @ 0x5602] frame:4    pts:4101    pts_time:0.0929932\n"
      "[ametadata@silence_0_0 @ 0x5602] lavfi.silence_start=0.000113\n"
      "[ametadata@silence_1_1 @ 0x5612] frame:48   pts:49150   pts_time:1.11451\n"
      "[ametadata@silence_1_1 @ 0x5612] lavfi.silence_start=1.02315\n"
      "[ametadata@silence_1_0 @ 0x5611] lavfi.silence_start=1.02333\n"
      "[ametadata@silence_1_1 @ 0x5612] lavfi.silence_end=2.02336\n"
      "[ametadata@silence_1_1 @ 0x5612] lavfi.silence_duration=1.0002\n"
      "[ametadata@silence_1_0 @ 0x5611] lavfi.silence_end=2.02336\n"
      "[ametadata@silence_1_1 @ 0x5612] lavfi.silence_start=3.5\n"
      "[ametadata@silence_10_0 @ 0x5621] lavfi.silence_start=0.5\n"
      "[silencedetect @ 0x5613] silence_end: 4.6 | silence_duration: 1.1\n";
  const auto reports = parse_track_silence_reports(report, 1, 2);
  ASSERT_EQ(reports.size(), 2u);
  ASSERT_EQ(reports[0].silences.size(), 1u);
  EXPECT_EQ(reports[0].silences[0].start, 1.02333);
  EXPECT_EQ(reports[0].silences[0].end, 2.02336);
  EXPECT_FALSE(reports[0].open_start.has_value());
  ASSERT_EQ(reports[1].silences.size(), 1u);
  EXPECT_EQ(reports[1].silences[0].start, 1.02315);
  // The end at the file's end comes with no frame: the silence is left open, for the duration.
  EXPECT_EQ(reports[1].open_start, 3.5);
  const auto first = parse_track_silence_reports(report, 0, 2);
  EXPECT_EQ(first[0].open_start, 0.000113);
  EXPECT_TRUE(first[1].silences.empty());
}
