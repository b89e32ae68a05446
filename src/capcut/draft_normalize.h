#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/json_text.h"

// Rewriting a CapCut draft (draft_content.json) so that its first video track plays the given
// clips one after another, each whole. Everything the rewrite does not name stays as read.

// The track that the rewrite fills: the first object in `tracks` (an array, or an object whose
// member values are the tracks) whose `type` is "video", else the first object with a `segments`
// member. Points into `draft`; null when there is none.
Json* find_first_video_track(Json& draft);

// Replaces the draft's video materials by one per clip, empties its audio materials, empties the
// first video track (made as CapCut makes one when there is none) and fills it with one gap-free
// segment per clip, then sets `duration` and `draft_duration` where present. `files` are in
// timeline order; each clip's duration comes from ffprobe. Returns the draft and the total in
// microseconds. Throws on a draft whose `materials` or `tracks` has the wrong kind and on an
// unknown resolution, before anything is changed; a clip whose duration cannot be read throws
// midway and leaves the draft half rewritten.
std::pair<Json&, long long> normalize_capcut_draft_for_files(Json& draft,
                                                             const std::vector<std::string>& files,
                                                             const Json& cfg);
