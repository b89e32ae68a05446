#pragma once

#include "settings/reporter.h"

// The answer to the frontend's start-up command: both panels learn whether FFmpeg was found (a
// log line each, and a full progress bar each when it was) and, when it was, whether it lacks
// the filters that bring HDR recordings to SDR properly (a second line each), then the state
// follows.
void report_ffmpeg_presence(const Reporter& report);
