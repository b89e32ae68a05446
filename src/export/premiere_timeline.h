#pragma once

#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// The Premiere Pro timeline "premiere_timeline.xml" in the output folder. MKV clips are first
// converted to MP4 copies in "Premiere_Pro_Cut_Videos"; every clip is used whole; the converted
// MKV sources are deleted only after the document has been written. A failure's report goes to
// the error log of `paths`. The conversions report their progress through `progress`.
void run_master_xml_premiere(const std::vector<std::string>& files, const Json& cfg,
                             const MessageFn& log, const MessageFn& done, const MessageFn& err,
                             const FixedPaths& paths, const ProgressFn& progress = {});
