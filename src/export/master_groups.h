#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/master_mp4.h"
#include "settings/callbacks.h"
#include "settings/constants.h"
#include "settings/path_text.h"

// The MP4 (or MOV) master with the picture encoded once. The clips go in bounded groups, each one
// FFmpeg run whose filter graph cuts every clip of the group to its span, scales and pads it to
// the frame at 60 fps and joins them: the run encodes the group's picture as H.264 and writes its
// sound as raw samples. The groups' pictures are then joined by stream copy, and their sound,
// joined sample for sample, is encoded once as AAC, so the joins have neither gaps nor the
// encoder's lead-in. No run opens more than CLIPS_PER_GROUP clips, however long the list.

inline constexpr size_t CLIPS_PER_GROUP = 4;

// A clip as the master uses it: its span and, unless it has none, its sound (the track that
// carries the speech), and how its picture is fitted.
struct GroupClip {
  std::string path;
  MasterClipCut cut;
  bool has_sound = true;
  size_t sound_track = 0;
  PictureFit fit;
};

// Where a clip ends in the master, in frames at 60 fps and in samples at the master's rate.
struct ClipEnd {
  int64_t frame = 0;
  int64_t sample = 0;
};

// The ends of clips with these spans, one after another: the running sum of the spans rounded to
// frames (each clip at least one frame long) and to samples. So the master lasts the sum of the
// spans within half a frame and each clip its own span within a frame, and the sound of every
// clip is its span to the sample, with no silence put in at a join to fill a frame; picture and
// sound keep within half a frame of each other throughout.
std::vector<ClipEnd> clip_ends(const std::vector<double>& spans, int sample_rate);

// The run of one group into `picture` (H.264 alone) and `sound` (32-bit float samples in
// `sound_format`'s rate and channels): `start` is where the group begins in the master, `ends`
// where each of its clips ends; `colour_tags` are the master's (colour_tag_args).
std::vector<std::string> group_command(const std::vector<GroupClip>& clips, ClipEnd start,
                                       const std::vector<ClipEnd>& ends, FrameSize frame,
                                       const ClipAudio& sound_format,
                                       const std::vector<std::string>& colour_tags,
                                       const std::string& picture, const std::string& sound);

// The master from the concat list of the groups' pictures and the joined sound, which goes
// through `sound_filter` (none when empty) on its way to the AAC encoder.
std::vector<std::string> master_mux_command(const std::string& picture_list,
                                            const std::string& sound, const ClipAudio& sound_format,
                                            const std::string& out,
                                            const std::string& sound_filter = "");

// Writes the master of `clips` to `out`, with the group files in `temporary`, which the caller
// removes. Logs each clip's counter (with its `handle_message`) when its group's run reaches it,
// then "Füge Clips zusammen ..."; `progress` is told how far the run is within the clip logged
// last, and within the join. With a `loudness_target` the joined sound is measured (one run over
// its samples) and brought to it in the join. Throws "Fehler bei " + the group's clip names + ": "
// + FFmpeg's error tail when a group fails, "Concat Fehler: " + the tail when the join does.
void run_master_in_groups(const std::vector<GroupClip>& clips, FrameSize frame,
                          const ClipAudio& sound_format,
                          const std::vector<std::string>& colour_tags, const fs::path& temporary,
                          const std::string& extension, const std::string& out,
                          const MessageFn& log, const ProgressFn& progress = {},
                          std::optional<double> loudness_target = std::nullopt);
