#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/timecode.h"

// Times of an FCPXML document. Every time there is a rational number of seconds, and an editor
// cuts only on frame boundaries: a clip's place and length on the timeline's frames, its start
// on the frames of its own file. So every time is computed as a whole number of frames of some
// frame duration and only then written as a fraction, and nothing drifts or rounds past the end
// of a file. Made for files of up to a day at up to 1000 fps, whose frame counts keep every
// product here far within range.

// Seconds per frame, num / den ("1001/30000s" is {1001, 30000}).
struct FrameDuration {
  long long num = 1;
  long long den = 1;
};

// The timeline's frame: 60 fps, written as editors write it.
inline constexpr FrameDuration TIMELINE_FRAME{100, 6000};

// The frame duration a file's picture rate is declared with: the NTSC rates (29.97, 23.976,
// 59.94 and their kin) as 1001-based fractions, whole rates as 100 / (100 * rate) seconds, any
// other rate as its exact reciprocal. A rate within 0.02 % of a standard rate is that rate (a
// variable-rate phone recording states an average such as 10802/360). Nothing for a rate outside
// 1 to 1000 frames per second.
std::optional<FrameDuration> frame_duration_for_rate(FrameRate rate);

// The attribute form of a frame duration itself: "100/6000s", "1001/30000s".
std::string frame_duration_text(FrameDuration frame);

// `frames` frames of `frame` as a time: whole seconds where it is some ("0s", "3610s"), else a
// fraction over the frame's own denominator ("3003/30000s", "3000/6000s"), as editors write them.
std::string time_text(long long frames, FrameDuration frame);

// The whole frames of `frame` a file of `seconds` holds: rounded down (a thousandth of a frame
// short still counts), but never less than one timeline frame's worth, so every clip can show at
// least one timeline frame.
long long whole_frames(double seconds, FrameDuration frame);

// One piece of a clip on the timeline: where it begins in its file, in the file's frames, and how
// many timeline frames it lasts.
struct ClipPiece {
  long long in_frame = 0;
  long long timeline_frames = 0;
};

// The pieces of a clip file of `file_frames` frames of `frame`: its span from `t_start` to `t_end`
// (seconds in the file) split at the rising `joins`. Each edge is rounded to the file's nearest
// frame and kept within the file; each piece lasts the whole timeline frames that fit between its
// edges, so no piece runs into the next one or past the file's end. Pieces shorter than one
// timeline frame are left out; when that leaves none, the clip is one timeline frame from its
// start (moved back where the file ends sooner).
std::vector<ClipPiece> clip_pieces(FrameDuration frame, long long file_frames, double t_start,
                                   double t_end, const std::vector<double>& joins);
