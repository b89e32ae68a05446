#pragma once

#include <optional>
#include <string>
#include <vector>

#include "autocut/silence_detection.h"
#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// Cutting one raw recording into one finished clip: keep the last take, trim the silence around
// its speech and the end silence, encode it into the output folder (video scaled and padded to
// the chosen frame as H.264/AAC, audio staying audio) with the content span as handle tags.

// The clip path for recording `fp`: `output_folder` / stem + `suffix` + extension. A video keeps
// its extension as written, except that WebM, which cannot hold H.264/AAC, becomes ".mkv"; an
// audio recording takes the extension of its audio output.
std::string clip_output_path(const std::string& fp, const std::string& output_folder,
                             const std::string& suffix);

// The start of the last take: the end of the latest pause, moved back by `add_padding` (never
// below 0), that leaves at least 2.0 s of the recording after it; 0.0 when none does.
double last_take_start(const std::vector<Silence>& silences, double total, double add_padding);

// Where the end silence cuts the clip: 0.05 s after the start of the latest silence that starts
// more than 0.5 s after `trim_start`; nothing when there is none.
std::optional<double> end_silence_cut(const std::vector<Silence>& silences, double trim_start);

// The encode's arguments that write the handle tags into `out`, and the TAVELMOR_CUTS tag of a
// clip with `joins` (seconds within the clip). MP4, MOV and M4A keep custom tags only with
// use_metadata_tags, which comes with faststart for them and writes every tag the recording has,
// except the brand that FFmpeg lists among them.
std::vector<std::string> handle_tag_args(const std::string& out, double c_in, double c_out,
                                         const std::vector<double>& joins = {});

// Cuts `fp` with the settings `cfg`. Reports each step through `log` and how far its long runs
// are through `progress`, then exactly one of `done` (the clip's path, as the last call) or
// `err` (the message; the failure also goes to the error log of `paths`). Never throws on its own
// failures; a cancel (RunCancelled, media/process.h) passes through without either call.
// Temporary files are removed on every path. The clip is written beside its final name and takes
// it only once it is complete, so an earlier clip of that name stays as it was when the cut fails
// or is cancelled.
void run_cut(const std::string& fp, const Json& cfg, const MessageFn& log, const MessageFn& done,
             const MessageFn& err, const FixedPaths& paths = fixed_paths(),
             const ProgressFn& progress = {});
