#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Even loudness after EBU R128: the integrated loudness that FFmpeg's ebur128 filter measures,
// and the gain with a true-peak limiter that brings a sound to a target.

// The meter as a filter of an analysis run: it passes the sound on and prints only its summary.
inline constexpr char LOUDNESS_METER[] = "ebur128=framelog=verbose";

// The integrated loudness in LUFS from FFmpeg's report of a run with LOUDNESS_METER. Nothing
// when the report holds none, or when the sound had nothing to measure: silence, or less than
// one 400 ms block of sound, for which the meter reports its floor of -70.
std::optional<double> integrated_loudness_in_report(std::string_view report);

// The gain in dB that brings a sound of `measured` LUFS to `target`; nothing when nothing was
// measured, so silence is never amplified.
std::optional<double> loudness_gain(std::optional<double> measured, double target);

// The filters that apply `gain` dB to a sound of `sample_rate` (48000 when 0, unknown) and keep
// every peak at or below -1 dBTP: a lookahead limiter at -1.5 dBFS on the sound at four times its
// rate, so it catches the peaks between the samples too (the margin takes the AAC encoder's
// overshoot), whose delay is taken back, so the sound keeps its timing, its length and its rate.
std::string loudness_filter(double gain, int sample_rate);

// The log line: the loudness measured, the target and the gain; or that nothing was measured
// and the sound stays as it is.
std::string loudness_message(std::optional<double> measured, double target);

// The integrated loudness of the sound that FFmpeg reads with the input options `input` ("-i"
// and the file included): one run that decodes the sound alone. Throws with FFmpeg's error tail
// when it fails.
std::optional<double> measure_loudness(const std::vector<std::string>& input);
