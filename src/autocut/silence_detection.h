#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/callbacks.h"

// Silent stretches of a media file, found by FFmpeg's silencedetect filter.

// Seconds from the start of the analysed file; end is greater than start.
struct Silence {
  double start;
  double end;
};

// What one silencedetect report says, read in the order FFmpeg printed it.
struct SilenceReport {
  std::vector<Silence> silences;     // completed silences, in order
  std::optional<double> open_start;  // a last start that no end followed (file ends silent)
  int start_matches = 0;             // raw "silence_start:" matches in the whole text
  int end_matches = 0;               // raw "silence_end:" matches in the whole text
};

// Reads the report text (FFmpeg's standard error). Each end pairs with the start before it; an
// end without a start means the file began in silence and gives a silence from 0.0 (dropped at
// 0); a second start replaces the first; an end not after its start is dropped. Throws
// std::runtime_error for a number such as "." or "1.2.3".
SilenceReport parse_silence_report(std::string_view report);

// Runs silencedetect with the noise threshold `thresh` (e.g. "-35dB") and the minimum length
// `dur` (e.g. "0.5"), both as FFmpeg reads them, over the whole file's sound; the picture is not
// decoded, and a video without sound yields no silences. A silence still open at the end runs to
// the file's duration: `duration` when the caller has read it already, else from another probe.
// `log`, when set, gets the start and end messages. Throws with FFmpeg's error tail when FFmpeg
// fails.
std::vector<Silence> detect_silences(const std::string& fp, const std::string& thresh,
                                     const std::string& dur, const MessageFn& log = {},
                                     std::optional<double> duration = std::nullopt);

// Reads the reports of several silencedetect filters chained in one FFmpeg run, in the order in
// which the filters first reported; lines that no "[silencedetect @ ...]" instance printed are
// passed over. Throws std::runtime_error for more instances than `count` and as
// parse_silence_report does.
std::vector<SilenceReport> parse_silence_reports(std::string_view report, size_t count);

// detect_silences for several minimum lengths `durs` at once, split in two for an analysis that
// runs beside other work. The start runs FFmpeg on a thread of its own: one run that decodes the
// sound once for all lengths (one run per length where a length is no plain number of seconds).
// With `tracks` of two or more it decodes every sound track in that one run, measures each one's
// level and takes the reports of the loudest (media/sound_tracks.h); otherwise FFmpeg picks the
// track. The finish takes the report of `durs[which]`: it logs the start message, waits for the
// run (a failure, the one of detect_silences, comes here), closes a silence still open at the end
// at `duration` and logs the end message. Each report may be finished when the caller reaches its
// step.
// How far an analysis run got while it runs: the seconds of sound it has decoded, told from the
// run's thread. `reached` of the start is told so; what it throws ends the run, and the analysis
// then fails with it.
using SoundReachedFn = std::function<void(double seconds)>;

// What the analysis of a whole recording found: a report per minimum length, the sound track they
// are of (0-based among the sound tracks), and how far the run read the recording, when it was
// told how far it got.
struct RecordingAnalysis {
  std::vector<SilenceReport> reports;
  size_t track = 0;
  std::optional<double> length;
};

using SilenceAnalysis = std::shared_future<RecordingAnalysis>;
SilenceAnalysis start_silence_detection(const std::string& fp, const std::string& thresh,
                                        std::vector<std::string> durs, SoundReachedFn reached = {},
                                        size_t tracks = 1);
std::vector<Silence> finish_silence_detection(const SilenceAnalysis& running, size_t which,
                                              const std::string& fp, double duration,
                                              const MessageFn& log);

// Reads, from FFmpeg's report of an analysis of several tracks, the reports of the `count`
// silencedetect filters (one per minimum length, in the order of the lengths) behind `track`.
std::vector<SilenceReport> parse_track_silence_reports(std::string_view report, size_t track,
                                                       size_t count);

// What the run of detect_silences_from measures beyond the silences of its length.
struct SoundMeasures {
  std::string pause_length;  // the silences of this length too (shorter than `dur`); empty: none
  bool loudness = false;     // the integrated loudness (media/loudness.h)
};

// The sound of `fp` from second `from` on, as one FFmpeg run that seeks there and decodes the
// sound alone finds it.
struct SoundFrom {
  std::vector<Silence> silences;   // at least `dur` long, in seconds from `from`
  double length;                   // of the sound from `from` to its end
  std::vector<Silence> pauses;     // at least the pause length long; without one, the silences
  std::optional<double> loudness;  // LUFS, when asked for and there was any to measure
};

// The silences of at least `dur` and the length of the sound from `from` on, from one run, of the
// sound track `track` when the recording has several (`tracks`), else of the track FFmpeg picks;
// logs as detect_silences does and tells `reached` how far the run got, in seconds from `from`.
// The same run measures what `measures` asks for. Throws as detect_silences does, also when
// FFmpeg tells no length.
SoundFrom detect_silences_from(const std::string& fp, double from, const std::string& thresh,
                               const std::string& dur, const MessageFn& log,
                               const SoundReachedFn& reached = {}, size_t track = 0,
                               size_t tracks = 1, const SoundMeasures& measures = {});
