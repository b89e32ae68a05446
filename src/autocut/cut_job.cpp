#include <algorithm>
#include <memory>
#include <stdexcept>
#include <thread>

#include "autocut/clip_cut.h"
#include "autocut/cut_progress.h"
#include "backend/backend.h"
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
  apply_job_settings(payload, {"output_folder", "suffix", "resolution"});

  std::vector<std::string> queue;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    busy_ = true;
    cut_results_.clear();
    queue = cut_queue_;
  }
  progress("cut", 0, "Starte Batch ...");
  log("cut", "Starte Batch: " + std::to_string(queue.size()) + " Video(s) ...", "info");

  const auto cut_file = [this](const std::string& fp, size_t i, size_t total) {
    progress(
        "cut", batch_percent(i, total),
        "Video " + std::to_string(i + 1) + "/" + std::to_string(total) + ": " + file_name_of(fp));
    std::string result_path;
    const MessageFn local_log = [this, i, total](const std::string& m) {
      log("cut", m, "info");
      if (const auto step = cut_progress_for(m, i, total))
        progress("cut", step->pct, step->status);
    };
    const MessageFn done = [&result_path](const std::string& out) { result_path = out; };
    const MessageFn err = [this](const std::string& e) { log("cut", "Fehler: " + e, "error"); };
    // Each file reads the settings as they are now, so a change during the batch applies to
    // the files not yet cut.
    run_cut(fp, cfg(), local_log, done, err, paths_);
    if (result_path.empty())
      return;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      cut_results_.push_back(result_path);
    }
    log("cut", "OK: " + file_name_of(result_path), "ok");
    progress("cut", batch_percent(i + 1, total),
             "Gespeichert – Video " + std::to_string(i + 1) + "/" + std::to_string(total));
  };

  const auto finish = [this, count = queue.size()] {
    size_t cut = 0;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      cut = cut_results_.size();
      for (const std::string& path : cut_results_) {
        std::error_code error;
        const bool exists = fs::is_regular_file(path_from_utf8(path), error);
        if (exists && std::find(mas_files_.begin(), mas_files_.end(), path) == mas_files_.end())
          mas_files_.push_back(path);
      }
      busy_ = false;
    }
    progress("cut", 100, "Fertig ✓");
    log("cut",
        "Fertig! " + std::to_string(cut) + "/" + std::to_string(count) + " Videos geschnitten.",
        "ok");
    send_state();
    send_event("notify", {{"title", "Cut Fertig"},
                          {"message", std::to_string(cut) + " von " + std::to_string(count) +
                                          " Videos erfolgreich geschnitten. Die Videos wurden "
                                          "automatisch in Clips in Reihenfolge übertragen."}});
  };

  const auto worker = [this, queue, cut_file, finish] {
    try {
      const size_t total = std::max<size_t>(queue.size(), 1);
      for (size_t i = 0; i < queue.size(); ++i)
        cut_file(queue[i], i, total);
      finish();
    } catch (const std::exception& failure) {
      // Nothing may escape a job thread: it would end the whole process.
      log_exception(failure, paths_);
      try {
        {
          std::lock_guard<std::mutex> hold(mutex_);
          busy_ = false;
        }
        log("cut", std::string("Fehler: ") + failure.what(), "error");
        send_state();
      } catch (const std::exception&) {
        // The events cannot be written any more; busy is cleared all the same.
      }
    }
  };

  try {
    std::thread(worker).detach();
  } catch (const std::exception&) {
    std::lock_guard<std::mutex> hold(mutex_);
    busy_ = false;
    throw;
  }
  send_state();
}
