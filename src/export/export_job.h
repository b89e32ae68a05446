#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"
#include "settings/reporter.h"

// The export job: one exporter run on a copy of the master list on the job thread, its messages
// turned into log and progress events of the "master" panel. The host guards the start and
// clears its busy flag; these functions only choose, run and report.

// A progress step for the master panel, and where its share of the bar ends: the runs inside the
// step move the bar up to there.
struct ExportProgress {
  double pct;
  std::string status;
  double share_end;
};

// The progress a log message stands for, if any. A bracketed counter "[cur/tot]" anywhere in
// the message gives ((cur - 1) / tot) * 100 in double precision, truncated and kept within
// 0..100, its share ending at the next clip's counter or, for the last clip, at the join's 90; a
// counter with a total of 0 is no counter. Else "füge" or "concat" (any letter case) gives 90,
// its share ending at 100, and "analysiere" gives 5, with no share.
std::optional<ExportProgress> progress_for_message(const std::string& msg);

// The share of the export's start, which ends where the analysis of the clips begins: the
// preparation of media for an editor runs there.
inline constexpr double START_SHARE_END = 5;

// The common shape of the five exporters: files, settings, log, done, err, and the fixed paths
// whose error log receives the report of a failure.
using Exporter = void (*)(const std::vector<std::string>&, const Json&, const MessageFn&,
                          const MessageFn&, const MessageFn&, const FixedPaths&, const ProgressFn&);

// What a mode selects. Unknown modes export the DaVinci timeline and are titled for it.
struct ExportMode {
  Exporter exporter;
  std::string label;  // the mode in upper case, for the start messages
  std::string title;  // the notice title on success
};

ExportMode export_mode_for(const std::string& mode);

// The notice text refusing a list that holds audio files, or nothing when it holds none.
std::optional<std::string> audio_files_refusal(const std::vector<std::string>& files);

// The events that open an export of `count` clips in `chosen`'s mode.
void report_export_start(const ExportMode& chosen, size_t count, const Reporter& report);

// What an export produced: the path of the result, or the error text when it failed.
struct ExportOutcome {
  std::optional<std::string> path;
  std::string error;
  bool cancelled = false;  // neither: the export was cancelled (media/process.h)
};

// Runs `chosen`'s exporter on `files` with the settings as `live_cfg` gives them now, each of
// its messages logged and, where it stands for one, turned into a progress step, and its runs
// moving the bar within the step. Throws only when reporting fails.
ExportOutcome run_export(const ExportMode& chosen, const std::vector<std::string>& files,
                         const SettingsFn& live_cfg, const Reporter& report,
                         const FixedPaths& paths);

// The events that close an export, ending with its notice ("Abgebrochen" after a cancel) and the
// state. The host sends them once it is no longer busy: a frontend may start the next job as
// soon as it sees the notice.
void report_export_end(const ExportOutcome& outcome, const ExportMode& chosen,
                       const Reporter& report);
