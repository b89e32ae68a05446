#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Reading what FFmpeg writes with "-progress": blocks of key=value lines, the last one ending in
// "progress=end", each telling how much of its output the run has made. Kept apart from running
// FFmpeg so it can be tested on text.

// The whole number that `line` gives its output time under `key` ("out_time_us=" or
// "out_time_ms=", both in microseconds). Nothing for another key, or a value that is not a whole
// number ("N/A").
std::optional<int64_t> progress_microseconds(std::string_view line, std::string_view key);

// How far the output got, in seconds: the last out_time_us of the text (out_time_ms, which
// FFmpeg also counts in microseconds, where an older FFmpeg writes no out_time_us). Nothing when
// the text has no such value or it is not a whole number ("N/A").
std::optional<double> progress_out_seconds(std::string_view progress);

// The share of `span` seconds that a run has made, from its progress lines in turn. Only a rise
// of out_time_us counts: a line that tells no time, or no later one, gives nothing.
class OutTimeShare {
 public:
  explicit OutTimeShare(double span) : span_(span) {}
  std::optional<double> read(std::string_view line);

 private:
  double span_;
  double reached_ = 0.0;
};
