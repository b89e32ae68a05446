#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "media/timecode.h"
#include "settings/constants.h"

// The xmeml (version 5) timeline document that both editor exports write: one sequence at 60
// frames per second, one video and one audio track, the clips back to back from frame 0. The
// builder is a pure function over clip records; the exporters measure and resolve first.

inline constexpr int TIMELINE_FPS = 60;

// Seconds as timeline frames: multiplied by the rate and truncated toward zero.
long long seconds_to_frames(double seconds);

// The frames a clip item lasts: at least 1, else the span in frames truncated.
long long clip_duration_frames(double t_start, double t_end);

// One clip of the timeline, in the order the items are placed.
struct TimelineClip {
  std::string name;           // file name without its last extension, as plain text
  std::string pathurl;        // the file URL, already percent-encoded
  double t_start = 0.0;       // seconds within the file where the item begins
  double t_end = 0.0;         // and where it ends
  long long dur_f = 1;        // the item's length in frames (clip_duration_frames)
  long long file_frames = 0;  // the whole file's length in frames
  // What the file holds besides: the channels of its sound (0: none, and the clip gets no audio
  // item) and its own timecode, when it carries one.
  int sound_channels = 2;
  std::optional<Timecode> timecode;
};

// Takes the sound channels and the timecode of a probed file into its clip; a probe that does not
// tell the channels leaves them at 2.
void describe_file(TimelineClip& clip, const ClipFacts& facts);

// A name as XML character data: "&" and "<" become entity references, nothing else changes.
std::string xml_character_data(const std::string& text);

// The whole document: every line ends with a line feed except the last, "</xmeml>". In and out
// are truncated separately from dur_f, so out - in may differ from the item's duration by one.
// Items and files are numbered by the clip's place in the list, audio items too, so an audio item
// refers to the file element of its own clip.
std::string timeline_document(const std::string& sequence_name, FrameSize frame,
                              const std::vector<TimelineClip>& clips);
