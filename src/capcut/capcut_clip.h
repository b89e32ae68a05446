#pragma once

#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "settings/constants.h"

// A clip as a CapCut project describes it, read from the clip's one probe and shared by the
// drafts and the media list, so that every file of the project says the same of it.

// A piece of the clip that becomes one segment: microseconds within the clip's file.
struct CapcutSpan {
  long long start_us;
  long long duration_us;
};

struct CapcutClip {
  std::string path;  // absolute, the platform's separators
  long long duration_us = 0;
  int width = 0;  // as players show the picture
  int height = 0;
  bool has_audio = true;
  std::vector<CapcutSpan> spans;  // back to back from 0 to duration_us
  // Lower-case UUID: the clip's entry in the media list and every draft material of the clip
  // carry it; CapCut reports the media as missing without it.
  std::string media_id;
};

// The clip at the absolute `path` from its probe: its picture's displayed size (`frame` when
// the probe tells none), whether it has sound (yes when the probe does not say) and one span per
// stretch between the joins of its TAVELMOR_CUTS tag (one span without the tag).
CapcutClip capcut_clip_of(const std::string& path, const ClipFacts& facts, const FrameSize& frame);

// Probes each clip once, in order; throws the probe's failure of the first clip that has one.
std::vector<CapcutClip> probe_capcut_clips(const std::vector<std::string>& files,
                                           const FrameSize& frame);
