#pragma once

#include <string>
#include <vector>

#include "media/process.h"
#include "settings/callbacks.h"

// FFmpeg runs that tell how far they are. With "-progress pipe:1" FFmpeg writes, while it runs,
// how much of its output it has made (out_time_us); against the span that the run is asked to
// produce, that is the share of its work done (OutTimeShare, media/ffmpeg_progress.h).

// run_process of an FFmpeg command (its program first) that produces `span` seconds, within
// FFMPEG_TIMEOUT and with FFmpeg's text decoded leniently, with `progress` told the share done as
// it rises. Without `progress`, or without a span, the command runs as it is.
ProcessResult run_ffmpeg_with_progress(std::vector<std::string> args, double span,
                                       const ProgressFn& progress);
