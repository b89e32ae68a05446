#pragma once

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

// detect_silences split in two, for an analysis that runs beside other work: the start runs
// FFmpeg on a thread of its own; the finish waits for it and then logs the start and end
// messages, when the caller reaches that step. The list and the failure are those of
// detect_silences; the report's silences include the trailing one closed at the duration.
std::future<SilenceReport> start_silence_detection(const std::string& fp, const std::string& thresh,
                                                   const std::string& dur,
                                                   std::optional<double> duration);
std::vector<Silence> finish_silence_detection(std::future<SilenceReport>& running,
                                              const std::string& fp, const MessageFn& log);
