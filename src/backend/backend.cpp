#include "backend/backend.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <unordered_set>

#include "backend/backend_exit.h"
#include "backend/event_channel.h"
#include "media/bootstrap.h"
#include "settings/config.h"
#include "settings/constants.h"
#include "settings/path_text.h"

namespace {

const Json& object_payload(const Json& payload, const std::string& command) {
  if (!payload.is_object()) {
    throw std::runtime_error("Ungültige Daten für " + command + ": ein JSON-Objekt wird erwartet");
  }
  return payload;
}

long long member_as_integer(const Json& payload, const std::string& key, long long fallback) {
  const auto it = payload.find(key);
  return it == payload.end() ? fallback : json_to_integer(*it);
}

// A text holding a NUL names no file: the system would test only the part before it.
bool is_existing_regular_file(const std::string& path_text) {
  if (path_text.find('\0') != std::string::npos)
    return false;
  std::error_code error;
  return fs::is_regular_file(path_from_utf8(path_text), error);
}

}  // namespace

Backend::Backend(std::ostream& out, FixedPaths paths)
    : out_(out), paths_(std::move(paths)), cfg_(load_cfg(paths_)) {}

Json Backend::state() const {
  std::lock_guard<std::mutex> hold(mutex_);
  Json snapshot = Json::object();
  snapshot["version"] = VERSION;
  snapshot["cfg"] = cfg_;
  snapshot["cut_queue"] = cut_queue_;
  snapshot["mas_files"] = mas_files_;
  snapshot["busy"] = busy_;
  return snapshot;
}

void Backend::log(const std::string& panel, const std::string& msg, const std::string& level) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    support_log_.push_back("[" + panel + "] " + msg);
  }
  send_event("log", {{"panel", panel}, {"msg", msg}, {"level", level}});
}

void Backend::progress(const std::string& panel, double pct, const std::string& status) {
  const double clamped = std::max(0.0, std::min(100.0, std::isnan(pct) ? 0.0 : pct));
  send_event(
      "progress",
      {{"panel", panel}, {"pct", static_cast<int>(std::trunc(clamped))}, {"status", status}});
}

void Backend::send_event(const std::string& event, const Json& members) {
  try {
    send(out_, event, members);
  } catch (const EventWriteError&) {
    // Nobody reads the events any more: a job would go on for nothing, and a command could not
    // even report its failure.
    exit_backend(EXIT_OUTPUT_FAILED);
  }
}

void Backend::send_state() {
  send_event("state", state());
}

void Backend::bootstrap(const Json&) {
  report_ffmpeg_presence(reporter());
}

void Backend::set_config(const Json& payload) {
  if (!json_is_empty(payload)) {
    object_payload(payload, "set_config");
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto it = payload.begin(); it != payload.end(); ++it) {
      if (is_added_key(it.key()))
        set_added_key(cfg_, it.key(), *it);
      else if (cfg_.contains(it.key()) && !it->is_null())
        cfg_[it.key()] = *it;
    }
  }
  save_cfg(cfg(), paths_);
  send_state();
}

int Backend::add_paths(const Json& payload, std::vector<std::string>& list) {
  Json paths = Json::array();
  if (payload.is_object() && payload.contains("paths")) {
    paths = payload["paths"];
    if (!paths.is_array()) {
      throw std::runtime_error("Ungültige Pfadliste: " + json_plain_text(paths));
    }
  }
  std::vector<std::string> accepted;
  for (const Json& element : paths) {
    std::string path_text = json_plain_text(element);
    if (has_media_extension(path_text) && is_existing_regular_file(path_text))
      accepted.push_back(std::move(path_text));
  }
  // One set of the listed texts makes the duplicate test cheap for long lists and long payloads.
  std::lock_guard<std::mutex> hold(mutex_);
  std::unordered_set<std::string> listed(list.begin(), list.end());
  int added = 0;
  for (std::string& path_text : accepted) {
    if (!listed.insert(path_text).second)
      continue;
    list.push_back(std::move(path_text));
    ++added;
  }
  return added;
}

void Backend::add_cut_files(const Json& payload) {
  const int added = add_paths(payload, cut_queue_);
  if (added > 0)
    log("cut", std::to_string(added) + " Datei(en) hinzugefügt", "info");
  send_state();
}

void Backend::add_master_files(const Json& payload) {
  const int added = add_paths(payload, mas_files_);
  if (added > 0)
    log("master", std::to_string(added) + " Clip(s) hinzugefügt", "info");
  send_state();
}

void Backend::clear_cut_queue(const Json&) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    cut_queue_.clear();
    cut_results_.clear();
  }
  send_state();
}

void Backend::clear_master_queue(const Json&) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    mas_files_.clear();
  }
  send_state();
}

void Backend::remove_master_index(const Json& payload) {
  const long long idx =
      member_as_integer(object_payload(payload, "remove_master_index"), "idx", -1);
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (idx >= 0 && idx < static_cast<long long>(mas_files_.size())) {
      mas_files_.erase(mas_files_.begin() + idx);
    }
  }
  send_state();
}

void Backend::move_master(const Json& payload) {
  const Json& members = object_payload(payload, "move_master");
  const long long idx = member_as_integer(members, "idx", -1);
  const long long direction = member_as_integer(members, "direction", 0);
  long long target = -1;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const long long size = static_cast<long long>(mas_files_.size());
    // Tested before it is added, so idx + direction cannot overflow.
    if (idx >= 0 && idx < size && direction >= -idx && direction < size - idx) {
      target = idx + direction;
      std::swap(mas_files_[idx], mas_files_[target]);
    }
  }
  const bool moved = target >= 0;
  if (moved)
    send_event("selected_master", {{"idx", target}});
  send_state();
}

void Backend::copy_support_log(const Json&) {
  std::string text;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    for (size_t i = 0; i < support_log_.size(); ++i) {
      if (i > 0)
        text += "\n";
      text += support_log_[i];
    }
  }
  send_event("support_log", {{"text", text.empty() ? "Kein Log vorhanden." : text}});
}

void Backend::get_state(const Json&) {
  send_state();
}

Json Backend::cfg() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return cfg_;
}

bool Backend::busy() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return busy_;
}

std::vector<std::string> Backend::mas_files() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return mas_files_;
}

bool Backend::may_start_job(bool list_is_empty) {
  if (busy()) {
    send_event("notify",
               {{"title", "Hinweis"}, {"message", "Bitte warten, es läuft bereits ein Prozess."}});
    return false;
  }
  if (list_is_empty) {
    send_event("notify", {{"title", "Hinweis"}, {"message", "Bitte zuerst Videos hinzufügen."}});
    return false;
  }
  return true;
}

void Backend::apply_job_settings(const Json& payload, const std::vector<std::string>& keys) {
  if (!json_is_empty(payload)) {
    object_payload(payload, "den Auftrag");
    std::lock_guard<std::mutex> hold(mutex_);
    for (const std::string& key : keys) {
      const auto it = payload.find(key);
      if (it == payload.end())
        continue;
      // The added keys take false and 0 as what they say; null sets them back to their default.
      if (is_added_key(key))
        set_added_key(cfg_, key, *it);
      else if (!json_is_empty(*it))
        cfg_[key] = *it;
    }
  }
  save_cfg(cfg(), paths_);
}

Reporter Backend::reporter() {
  Reporter report;
  report.log = [this](const std::string& panel, const std::string& msg, const std::string& level) {
    log(panel, msg, level);
  };
  report.progress = [this](const std::string& panel, double pct, const std::string& status) {
    progress(panel, pct, status);
  };
  report.notify = [this](const std::string& title, const std::string& message) {
    send_event("notify", {{"title", title}, {"message", message}});
  };
  report.send_state = [this] { send_state(); };
  return report;
}

void Backend::set_busy(bool busy) {
  std::lock_guard<std::mutex> hold(mutex_);
  busy_ = busy;
}
