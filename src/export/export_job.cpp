#include "export/export_job.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <thread>

#include "backend/backend.h"
#include "capcut/project_export.h"
#include "export/davinci_timeline.h"
#include "export/master_mp4.h"
#include "export/premiere_timeline.h"
#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/path_text.h"

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

std::string upper_ascii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  });
  return text;
}

}  // namespace

std::optional<ExportProgress> progress_for_message(const std::string& msg) {
  static const std::regex COUNTER(R"(\[([0-9]+)/([0-9]+)\])");
  std::smatch match;
  if (std::regex_search(msg, match, COUNTER)) {
    const std::string cur = plain_digits(match[1].str());
    const std::string tot = plain_digits(match[2].str());
    // A total of 0 only comes from a folder or file name; such a bracket is no counter.
    if (tot != "0") {
      // strtod saturates numbers too long for a double instead of failing.
      const double ratio =
          (std::strtod(cur.c_str(), nullptr) - 1.0) / std::strtod(tot.c_str(), nullptr);
      const double pct =
          std::isnan(ratio) ? 0.0 : std::clamp(std::trunc(ratio * 100.0), 0.0, 100.0);
      return ExportProgress{pct, "Clip " + cur + "/" + tot + " wird verarbeitet ..."};
    }
  }
  const std::string lower = keyword_lower(msg);
  if (lower.find("füge") != std::string::npos || lower.find("concat") != std::string::npos)
    return ExportProgress{90, "Clips zusammenfügen ..."};
  if (lower.find("analysiere") != std::string::npos)
    return ExportProgress{5, "Analysiere Clips ..."};
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

void Backend::start_export(const Json& payload) {
  if (!may_start_job(mas_files().empty()))
    return;
  std::string mode = "mp4";
  if (payload.is_object() && payload.contains("mode")) {
    // Refused before anything changes, so no job can be left half started.
    if (!payload["mode"].is_string())
      throw std::runtime_error("Ungültiger Exportmodus: " + json_line_text(payload["mode"]));
    mode = payload["mode"].get<std::string>();
  }
  if (const auto refusal = audio_files_refusal(mas_files())) {
    send_event("notify", {{"title", "Hinweis"}, {"message", *refusal}});
    return;
  }
  apply_job_settings(payload, {"output_folder", "resolution"});
  const std::vector<std::string> files = mas_files();
  const ExportMode chosen = export_mode_for(mode);
  {
    std::lock_guard<std::mutex> hold(mutex_);
    busy_ = true;
  }
  progress("master", 0, "Starte " + chosen.label + " Export ...");
  log("master",
      "Starte " + chosen.label + " Export mit " + std::to_string(files.size()) + " Clip(s) ...");

  std::thread([this, files, chosen] {
    const auto finish = [this] {
      std::lock_guard<std::mutex> hold(mutex_);
      busy_ = false;
    };
    const MessageFn progress_log = [this](const std::string& msg) {
      log("master", msg, "info");
      if (const auto step = progress_for_message(msg))
        progress("master", step->pct, step->status);
    };
    const MessageFn done = [this, finish, title = chosen.title](const std::string& path) {
      finish();
      progress("master", 100, "Fertig ✓");
      log("master", "Fertig: " + path, "ok");
      send_event("notify", {{"title", title}, {"message", "Gespeichert: " + path}});
      send_state();
    };
    const MessageFn err = [this, finish](const std::string& text) {
      finish();
      progress("master", 0, "Fehler ✗");
      log("master", "Fehler: " + text, "error");
      send_event("notify", {{"title", "Fehler"}, {"message", text}});
      send_state();
    };
    try {
      chosen.exporter(files, cfg(), progress_log, done, err);
    } catch (const std::exception& failure) {
      // The exporters catch their own errors; this keeps a fault in a callback from ending
      // the process or leaving the backend busy.
      log_exception(failure, paths_);
      finish();
      try {
        send_state();
      } catch (const std::exception&) {
        // The events cannot be written any more; busy is cleared all the same.
      }
    }
  }).detach();
  send_state();
}
