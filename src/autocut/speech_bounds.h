#pragma once

#include <string>
#include <vector>

#include "autocut/silence_detection.h"
#include "settings/callbacks.h"

// Where speech begins and ends in a media file: the end of the silence it opens with and the
// start of the silence it closes with, widened by a padding. Inner silences do not count.

struct SpeechBounds {
  double start;
  double end;
  bool whole_file;  // no speech section of 0.3 s or more: the bounds are the whole file
};

// The bounds within a file of `total` seconds with these silences; 0 <= start <= end <= total.
SpeechBounds speech_bounds_within(double total, const std::vector<Silence>& silences,
                                  double padding);

// speech_bounds_within for a take of `total` seconds whose silences (of at least 0.2 s, the
// length the clip cut asks for) are known; logs the "Sprache: " line or the fallback message when
// `log` is set.
SpeechBounds find_speech_bounds(double total, const std::vector<Silence>& silences, double padding,
                                const MessageFn& log = {});
