#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/json_text.h"

// The pieces of the export job that do not need the Backend: how an exporter's log message
// moves the master panel's progress, and which exporter and titles a mode stands for. The job
// itself is Backend::start_export.

// A progress step for the master panel.
struct ExportProgress {
  double pct;
  std::string status;
};

// The progress a log message stands for, if any. A bracketed counter "[cur/tot]" anywhere in
// the message gives ((cur - 1) / tot) * 100 in double precision, truncated and kept within
// 0..100; a counter with a total of 0 is no counter. Else "füge" or "concat" (any letter case)
// gives 90 and "analysiere" gives 5.
std::optional<ExportProgress> progress_for_message(const std::string& msg);

// The common shape of the four exporters: files, settings, log, done, err.
using Exporter = void (*)(const std::vector<std::string>&, const Json&, const MessageFn&,
                          const MessageFn&, const MessageFn&);

// What a mode selects. Unknown modes export the DaVinci timeline and are titled for it.
struct ExportMode {
  Exporter exporter;
  std::string label;  // the mode in upper case, for the start messages
  std::string title;  // the notice title on success
};

ExportMode export_mode_for(const std::string& mode);

// The notice text refusing a list that holds audio files, or nothing when it holds none.
std::optional<std::string> audio_files_refusal(const std::vector<std::string>& files);
