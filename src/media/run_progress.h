#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/process.h"
#include "settings/callbacks.h"

// FFmpeg runs that tell how far they are. With "-progress pipe:1" FFmpeg writes, while it runs,
// how much of its output it has made (out_time_us); against the span that the run is asked to
// produce, that is the share of its work done.

// The share of `span` seconds that a run has made, from its progress lines in turn. Only a rise
// counts: a line that tells no time, or no later one, gives nothing.
class OutTimeShare {
 public:
  explicit OutTimeShare(double span) : span_(span) {}
  std::optional<double> read(std::string_view line);

 private:
  double span_;
  double reached_ = 0.0;
};

// run_process of an FFmpeg command (its program first) that produces `span` seconds, with
// `progress` told the share done as it rises. Without `progress`, or without a span, the command
// runs as it is.
ProcessResult run_ffmpeg_with_progress(std::vector<std::string> args, double span,
                                       const ProgressFn& progress, int timeout_seconds,
                                       OutputDecoding decoding);
