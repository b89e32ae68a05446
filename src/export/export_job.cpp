#include "export/export_job.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>

#include "capcut/project_export.h"
#include "export/davinci_timeline.h"
#include "export/finalcut_timeline.h"
#include "export/master_mp4.h"
#include "export/premiere_timeline.h"
#include "media/process.h"
#include "settings/constants.h"
#include "settings/path_text.h"
#include "settings/progress_bar.h"

namespace {

// Lower case for the keyword test: ASCII letters and "Ü", the only capital that can spell part
// of the keywords.
std::string keyword_lower(const std::string& text) {
  std::string lower = to_lower_ascii(text);
  const std::string capital = "\xC3\x9C";  // Ü
  for (size_t at = lower.find(capital); at != std::string::npos; at = lower.find(capital, at))
    lower[at + 1] = '\xBC';  // ü
  return lower;
}

// A counter's digits without leading zeros, as the status text shows them.
std::string plain_digits(const std::string& digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

// ((cur - 1) / tot) * 100, divided first, truncated and kept within 0..100.
double counter_percent(double cur, double tot) {
  const double ratio = (cur - 1.0) / tot;
  return std::isnan(ratio) ? 0.0 : std::clamp(std::trunc(ratio * 100.0), 0.0, 100.0);
}

constexpr double JOIN_PERCENT = 90;

std::string upper_ascii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  });
  return text;
}

std::string start_status(const ExportMode& chosen) {
  return "Starte " + chosen.label + " Export ...";
}

}  // namespace

// Reads the messages of export/export_messages.h: clip_counter_message, then JOINING_CLIPS and
// ANALYSING_CLIPS(_FOR_PREMIERE) by their keywords (export_job_test.cpp holds each to its step).
std::optional<ExportProgress> progress_for_message(const std::string& msg) {
  static const std::regex COUNTER(R"(\[([0-9]+)/([0-9]+)\])");
  std::smatch match;
  if (std::regex_search(msg, match, COUNTER)) {
    const std::string cur = plain_digits(match[1].str());
    const std::string tot = plain_digits(match[2].str());
    // A total of 0 only comes from a folder or file name; such a bracket is no counter.
    if (tot != "0") {
      // strtod saturates numbers too long for a double instead of failing.
      const double cur_number = std::strtod(cur.c_str(), nullptr);
      const double tot_number = std::strtod(tot.c_str(), nullptr);
      const double share_end =
          cur_number < tot_number ? counter_percent(cur_number + 1, tot_number) : JOIN_PERCENT;
      return ExportProgress{counter_percent(cur_number, tot_number),
                            "Clip " + cur + "/" + tot + " wird verarbeitet ...", share_end};
    }
  }
  const std::string lower = keyword_lower(msg);
  if (lower.find("füge") != std::string::npos || lower.find("concat") != std::string::npos)
    return ExportProgress{JOIN_PERCENT, "Clips zusammenfügen ...", 100};
  if (lower.find("analysiere") != std::string::npos)
    return ExportProgress{5, "Analysiere Clips ...", 5};
  return std::nullopt;
}

ExportMode export_mode_for(const std::string& mode) {
  const std::string label = upper_ascii(mode);
  if (mode == "capcut")
    return {run_master_capcut_project, label, "CapCut Projekt fertig"};
  if (mode == "premiere")
    return {run_master_xml_premiere, label, "Premiere XML fertig"};
  if (mode == "mp4")
    return {run_master_mp4, label, "MP4 fertig"};
  if (mode == "fcpxml")
    return {run_master_fcpxml, label, "Final Cut Pro XML fertig"};
  return {run_master_xml, label, "DaVinci XML fertig"};
}

std::optional<std::string> audio_files_refusal(const std::vector<std::string>& files) {
  std::vector<std::string> names;
  for (const std::string& file : files) {
    if (is_audio_file(file))
      names.push_back(file_name_of(file));
  }
  if (names.empty())
    return std::nullopt;
  std::string listed;
  for (size_t i = 0; i < names.size() && i < 3; ++i)
    listed += (i > 0 ? ", " : "") + names[i];
  return "Dieser Export braucht Videos. In der Liste sind Tondateien (" + listed +
         (names.size() > 3 ? " …" : "") +
         "). Tondateien bitte mit „An Editor senden“ weiterverarbeiten.";
}

void report_export_start(const ExportMode& chosen, size_t count, const Reporter& report) {
  report.progress("master", 0, start_status(chosen));
  report.log("master",
             "Starte " + chosen.label + " Export mit " + std::to_string(count) + " Clip(s) ...",
             "info");
}

ExportOutcome run_export(const ExportMode& chosen, const std::vector<std::string>& files,
                         const SettingsFn& live_cfg, const Reporter& report,
                         const FixedPaths& paths) {
  ExportOutcome outcome;
  ProgressBar bar(report, "master", 0, start_status(chosen), START_SHARE_END);
  const MessageFn progress_log = [&report, &bar](const std::string& msg) {
    report.log("master", msg, "info");
    if (const auto step = progress_for_message(msg))
      bar.step(step->pct, step->status, step->share_end);
  };
  const MessageFn done = [&outcome](const std::string& path) { outcome.path = path; };
  const MessageFn err = [&outcome](const std::string& text) { outcome.error = text; };
  try {
    chosen.exporter(files, live_cfg(), progress_log, done, err, paths, bar.run_progress());
  } catch (const RunCancelled&) {
    outcome = ExportOutcome{};
    outcome.cancelled = true;
  }
  return outcome;
}

void report_export_end(const ExportOutcome& outcome, const ExportMode& chosen,
                       const Reporter& report) {
  if (outcome.cancelled) {
    report.progress("master", 0, "Abgebrochen ✗");
    report.log("master", "Abgebrochen! " + chosen.label + " Export nicht fertiggestellt.", "info");
    report.notify("Abgebrochen", "Der " + chosen.label + " Export wurde abgebrochen.");
  } else if (outcome.path) {
    report.progress("master", 100, "Fertig ✓");
    report.log("master", "Fertig: " + *outcome.path, "ok");
    report.notify(chosen.title, "Gespeichert: " + *outcome.path);
  } else {
    report.progress("master", 0, "Fehler ✗");
    report.log("master", "Fehler: " + outcome.error, "error");
    report.notify("Fehler", outcome.error);
  }
  report.send_state();
}
