#pragma once

#include <filesystem>
#include <string>

#include "settings/path_text.h"
#include "support/test_util.h"

// Video-only clips for the CapCut tests: `frames` frames at 40 fps give exact durations
// (100 frames are 2.5 s, 40 are 1.0 s, 130 are 3.25 s).
inline void make_video_clip(const std::filesystem::path& path, int frames) {
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x64:rate=40", "-frames:v",
              std::to_string(frames), "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
              "yuv420p", path_to_utf8(path)});
}
