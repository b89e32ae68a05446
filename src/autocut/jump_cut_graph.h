#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/clip_spans.h"

// The filter graph of a cut's encode with jump cuts: the kept stretches of the picture and of
// each sound track taken from one decoding of the recording and joined in the same run. The
// stretches pass one after another through filters that hand each frame on at once, so the
// graph holds a few frames at a time however many stretches there are.

// The graph that keeps `spans` (in order, in seconds from the start of input 0's decoded
// stretch) of the first picture and of the sound inputs `sounds` ("0:a:1", ...), all cut at the
// same instants: the picture at the frame that starts there (its frames lie `frame_step` apart,
// 0 when unknown), the sound at that sample, counted from its first. After the join the picture
// goes through `picture_filter` (no picture without one) and each sound through its filter in
// `sound_filters` (none where that is empty or missing). Outputs "[v]" and "[a0]", "[a1]", ...
// in the order of `sounds`.
std::string jump_cut_graph(const std::vector<ClipSpan>& spans, double frame_step,
                           const std::optional<std::string>& picture_filter,
                           const std::vector<std::string>& sounds,
                           const std::vector<std::string>& sound_filters);
