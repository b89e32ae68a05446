#pragma once

#include <string>
#include <vector>

#include "capcut/capcut_clip.h"
#include "settings/json_text.h"

// The objects a CapCut draft holds for a clip on its main track, with the members CapCut's own
// builds write: what the clip is, and CapCut's neutral values (no effect, no crop, no mask) for
// everything else. CapCut readers take a material or segment that lacks members as broken.

// The material lists that get one material of their own per segment, in the order the
// segment's extra_material_refs name them.
extern const char* const SEGMENT_EXTRA_KINDS[6];

// The video material of `clip` with the identifier `id`.
Json capcut_video_material(const CapcutClip& clip, const std::string& id);

// Where a segment plays: `source` within the clip's file, from `target_start_us` on the timeline.
struct SegmentPlace {
  int render_index = 0;
  CapcutSpan source;
  long long target_start_us = 0;
};

// The segment `id` playing the material `material_id` at `place`, referring to its own extra
// materials `extra_refs`.
Json capcut_video_segment(const std::string& id, const std::string& material_id,
                          const SegmentPlace& place, const std::vector<std::string>& extra_refs);

// A neutral material `id` of one of SEGMENT_EXTRA_KINDS.
Json capcut_extra_material(const std::string& kind, const std::string& id);

// `ours` in the shape of `model`, an object of the same kind that a template holds: the model's
// members in its order, each with our value where we have one and the model's otherwise, then
// our members that the model lacks. `ours` unchanged when the model is no object.
Json shaped_like(const Json& ours, const Json& model);
