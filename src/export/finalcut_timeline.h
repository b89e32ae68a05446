#pragma once

#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// The Final Cut Pro timeline "finalcut_timeline.fcpxml" in the output folder (FCPXML 1.10, which
// DaVinci Resolve imports as well): the clips referenced where they lie, each asset declaring its
// file's picture, sound, length and timecode, each clip trimmed to its handles and split at the
// joins of its jump cuts.

// The exporter of mode "fcpxml": reads `resolution` and `output_folder`; reports through `log`,
// then exactly one of `done` (the document's path) and `err` (the error text, whose report goes
// to the error log of `paths`). One probe per clip, the probes running ahead; they report no
// progress. The document is written beside its name and takes it only when complete.
void run_master_fcpxml(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                       const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                       const ProgressFn& progress = {});
