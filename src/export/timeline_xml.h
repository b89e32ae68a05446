#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "media/timecode.h"
#include "settings/constants.h"

// The xmeml (version 5) timeline document that both editor exports write: one sequence at 60
// frames per second, one video track and an audio track per sound channel, the clips back to back
// from frame 0. The builder is a pure function over clip records; the exporters measure and
// resolve first.

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
  long long file_frames = 0;  // the whole file's length in the frames of its declared rate
  // What the file holds besides: the channels of its sound (0: none, and the clip gets no audio
  // item), their format (0 where unknown: not declared), its own timecode, its picture (nothing:
  // declared as a frame of the sequence at its rate) and the joins of a jump-cut clip (seconds
  // within the file, rising), each of which begins a clip item of its own.
  int sound_channels = 2;
  std::optional<Timecode> timecode;
  std::optional<PictureFacts> picture;
  SoundFormat sound_format;
  std::vector<double> joins;
};

// Takes what the probe of a file says into its clip: its length in its own frames, its sound,
// timecode, picture and joins. A probe that does not tell the channels leaves them at 2.
void describe_file(TimelineClip& clip, const ClipFacts& facts);

// A name as XML character data: "&" and "<" become entity references, nothing else changes.
std::string xml_character_data(const std::string& text);

// The whole document: every line ends with a line feed except the last, "</xmeml>".
//
// Each clip is one video clip item, or one per span between its joins, consecutive. Each such
// item has one audio item per sound channel, channel c on audio track c taking the file's source
// track c, as editors lay a file's channels out; a stereo pair shares one group index, so editors
// take it as one stereo clip. Every item of such a group links to each member, itself included.
// The first item of a clip declares its file; the others refer to it by id.
//
// In and out are truncated separately from dur_f, so out - in may differ from the item's
// duration by one; the spans of a jump-cut clip instead lie on the frames of their joins, each
// item as long as its in-to-out. Video items are numbered in track order ("clip3"), the audio
// items of a group by its video item's number ("audioclip3", and "audioclip3-2" for channel 2),
// files by the clip's place in the list.
std::string timeline_document(const std::string& sequence_name, FrameSize frame,
                              const std::vector<TimelineClip>& clips);
