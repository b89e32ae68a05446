#include <algorithm>
#include <stdexcept>
#include <thread>

#include "autocut/cut_batch.h"
#include "backend/backend.h"
#include "export/export_job.h"
#include "media/process.h"
#include "settings/config.h"
#include "settings/error_log.h"
#include "settings/path_text.h"

void Backend::start_cut(const Json& payload) {
  bool queue_is_empty = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    queue_is_empty = cut_queue_.empty();
  }
  if (!may_start_job(queue_is_empty))
    return;
  std::vector<std::string> keys = {"output_folder", "suffix", "resolution"};
  keys.insert(keys.end(), ADDED_KEYS.begin(), ADDED_KEYS.end());
  apply_job_settings(payload, keys);

  std::vector<std::string> queue;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    busy_ = true;
    cut_results_.clear();
    queue = cut_queue_;
  }
  const Reporter report = reporter();
  report_cut_batch_start(queue.size(), report);
  start_job_thread("cut", [this, queue, report] {
    const auto keep_clip = [this](const std::string& clip) {
      std::lock_guard<std::mutex> hold(mutex_);
      cut_results_.push_back(clip);
    };
    const SettingsFn live_cfg = [this] { return cfg(); };
    const bool completed = cut_batch(queue, live_cfg, report, paths_, keep_clip);
    const size_t cut = end_cut_batch();
    if (completed)
      report_cut_batch_end(cut, queue.size(), report);
    else
      report_cut_batch_cancelled(cut, queue.size(), report);
  });
}

size_t Backend::end_cut_batch() {
  std::lock_guard<std::mutex> hold(mutex_);
  for (const std::string& path : cut_results_) {
    std::error_code error;
    const bool exists = fs::is_regular_file(path_from_utf8(path), error);
    if (exists && std::find(mas_files_.begin(), mas_files_.end(), path) == mas_files_.end())
      mas_files_.push_back(path);
  }
  busy_ = false;
  return cut_results_.size();
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
  set_busy(true);
  const Reporter report = reporter();
  report_export_start(chosen, files.size(), report);
  start_job_thread("master", [this, files, chosen, report] {
    const SettingsFn live_cfg = [this] { return cfg(); };
    const ExportOutcome outcome = run_export(chosen, files, live_cfg, report, paths_);
    // Cleared before the closing events: a frontend may start the next job as soon as it sees
    // the notice.
    set_busy(false);
    report_export_end(outcome, chosen, report);
  });
}

void Backend::cancel(const Json&) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (!busy_) {
    hold.unlock();
    send_event("notify", {{"title", "Hinweis"},
                          {"message", "Es läuft kein Prozess, der abgebrochen werden kann."}});
    return;
  }
  cancel_children();
  job_ended_.wait(hold, [this] { return !job_running_; });
  hold.unlock();
  send_state();
}

void Backend::start_job_thread(const std::string& panel, std::function<void()> job) {
  const auto run = [this, panel, job = std::move(job)] {
    try {
      job();
    } catch (const std::exception& failure) {
      // Nothing may escape a job thread: it would end the whole process.
      log_exception(failure, paths_);
      set_busy(false);
      try {
        log(panel, std::string("Fehler: ") + failure.what(), "error");
        send_state();
      } catch (const std::exception&) {
        // The events cannot be written any more; busy is cleared all the same.
      }
    }
    {
      std::lock_guard<std::mutex> hold(mutex_);
      allow_children();
      job_running_ = false;
    }
    job_ended_.notify_all();
  };
  {
    std::lock_guard<std::mutex> hold(mutex_);
    job_running_ = true;
  }
  const auto not_started = [this] {
    std::lock_guard<std::mutex> hold(mutex_);
    busy_ = false;
    job_running_ = false;
  };
  // The state that shows the job busy goes out before the job's first event can.
  try {
    send_state();
  } catch (const std::exception&) {
    not_started();
    throw;
  }
  try {
    std::thread(run).detach();
  } catch (const std::exception&) {
    not_started();
    send_state();
    throw;
  }
}
