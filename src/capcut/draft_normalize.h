#pragma once

#include <string>
#include <utility>
#include <vector>

#include "capcut/capcut_clip.h"
#include "settings/json_text.h"

// Rewriting a CapCut draft (draft_content.json) so that its first video track plays the given
// clips one after another, each whole. Everything the rewrite does not name stays as read.

// The track that the rewrite fills: the first object in `tracks` (an array, or an object whose
// member values are the tracks) whose `type` is "video", else the first object with a `segments`
// member. Points into `draft`; null when there is none.
Json* find_first_video_track(Json& draft);

// Replaces the draft's video materials by one per segment, empties its audio materials, empties
// the first video track (made as CapCut makes one when there is none) and fills it with gap-free
// segments, one per clip or, for a jump-cut clip, one per stretch between its joins. Each segment
// gets its own extra materials (SEGMENT_EXTRA_KINDS). What the rewrite writes takes the shape of
// the first object of its kind that the draft held. Sets `duration` and `draft_duration` where
// present. Returns the draft and the total in microseconds. Throws on a draft whose `materials`,
// `tracks` or extra material lists have the wrong kind, before anything is changed.
std::pair<Json&, long long> normalize_capcut_draft_for_clips(Json& draft,
                                                             const std::vector<CapcutClip>& clips);

// normalize_capcut_draft_for_clips for `files` in timeline order, each probed once, at the frame of
// the `resolution` setting where a clip tells no picture size. Throws on an unknown resolution and
// a draft of the wrong kind before any probe, and with the probe's failure of a clip.
std::pair<Json&, long long> normalize_capcut_draft_for_files(Json& draft,
                                                             const std::vector<std::string>& files,
                                                             const Json& cfg);
