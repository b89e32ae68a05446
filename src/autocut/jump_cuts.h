#pragma once

#include <optional>
#include <string>
#include <vector>

#include "autocut/silence_detection.h"
#include "media/clip_spans.h"
#include "media/ffmpeg_tools.h"

// Jump cuts: the pauses inside a clip cut out, a margin of each kept at either side of the cut,
// and the rest joined. All times here are seconds of the clip as it would be without the cuts,
// counted from its first instant (the cut's start in the recording), unless they say otherwise.

// Where the clip's pictures lie: at first + k * step. A step of 0 (no picture) puts no grid on
// the cuts, the sound is cut at the instants themselves.
struct FrameGrid {
  double first = 0.0;
  double step = 0.0;
};

// The grid of a recording's picture in a clip that starts `clip_start` seconds into it: the
// first picture the clip keeps is the first at or after that instant. No grid without a picture
// or its rate.
FrameGrid clip_frame_grid(const std::optional<PictureFacts>& picture, double clip_start);

// A stretch cut out of the clip.
struct Removal {
  double from;
  double to;
};

// What a clip of `length` seconds loses: of every pause that lies wholly inside it and lasts at
// least `pause_min`, the part `pause_keep` after its start to `pause_keep` before its end, both
// ends moved to the nearest picture of `grid`. Each kept stretch keeps at least one picture (or
// 10 ms of sound): removals that would leave less between them become one, and none comes
// closer to the clip's ends. In order; empty when nothing is worth cutting.
std::vector<Removal> pause_removals(const std::vector<Silence>& pauses, double length,
                                    double pause_min, double pause_keep, const FrameGrid& grid);

// The stretches the clip keeps, in order.
std::vector<ClipSpan> kept_spans(double length, const std::vector<Removal>& removals);

// The seconds that the removals take out, together.
double removed_seconds(const std::vector<Removal>& removals);

// Where the kept stretches meet in the cut clip, in seconds of the cut clip.
std::vector<double> joins_of(const std::vector<Removal>& removals);

// The value of the clip's TAVELMOR_CUTS tag: the joins in the handle tags' number form, joined
// by commas.
std::string cuts_tag_text(const std::vector<double>& joins);
