#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// The DaVinci Resolve timeline "davinci_timeline.xml" in the output folder: the clips referenced
// where they lie, each trimmed to its handles.

// The span of a clip on the timeline, in seconds within the file.
struct TimelineSpan {
  double t_start = 0.0;
  double t_end = 0.0;
  bool from_handles = false;  // the "Handle: In=... Out=..." line is logged
};

// Handles give the span, the end kept 0.05 s before the file's end; a span whose end is not after
// its start falls back to the whole clip. Without handles the whole clip.
TimelineSpan davinci_span(double total, const std::optional<HandlePair>& handles);

// The exporter of mode "xml": reads `resolution` and `output_folder`; reports through `log`, then
// exactly one of `done` (the document's path) and `err` (the error text, whose report goes to the
// error log of `paths`). Its runs are short probes, which report no progress.
void run_master_xml(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                    const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                    const ProgressFn& progress = {});
