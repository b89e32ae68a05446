#pragma once

#include <optional>
#include <string_view>

// Reading what FFmpeg writes with "-progress": blocks of key=value lines, the last one ending in
// "progress=end". Kept apart from running FFmpeg so it can be tested on text.

// How far the output got, in seconds: the last out_time_us of the text (out_time_ms, which
// FFmpeg also counts in microseconds, where an older FFmpeg writes no out_time_us). Nothing when
// the text has no such value or it is not a whole number ("N/A").
std::optional<double> progress_out_seconds(std::string_view progress);
