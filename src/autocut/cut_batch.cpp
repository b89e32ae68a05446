#include "autocut/cut_batch.h"

#include <algorithm>

#include "autocut/clip_cut.h"
#include "autocut/cut_progress.h"
#include "media/process.h"
#include "settings/path_text.h"
#include "settings/progress_bar.h"

void report_cut_batch_start(size_t count, const Reporter& report) {
  report.progress("cut", 0, "Starte Batch ...");
  report.log("cut", "Starte Batch: " + std::to_string(count) + " Video(s) ...", "info");
}

bool cut_batch(const std::vector<std::string>& queue, const SettingsFn& live_cfg,
               const Reporter& report, const FixedPaths& paths, const MessageFn& clip_done) {
  const size_t total = std::max<size_t>(queue.size(), 1);
  ProgressBar bar(report, "cut", 0, "Starte Batch ...", 0);
  try {
    for (size_t i = 0; i < queue.size(); ++i) {
      const std::string& fp = queue[i];
      const std::string number = std::to_string(i + 1) + "/" + std::to_string(total);
      throw_if_cancelled();
      bar.step(batch_percent(i, total), "Video " + number + ": " + file_name_of(fp),
               file_start_share_end(i, total));
      std::string result_path;
      const MessageFn local_log = [&report, &bar, i, total](const std::string& m) {
        report.log("cut", m, "info");
        if (const auto step = cut_progress_for(m, i, total))
          bar.step(step->pct, step->status, step->share_end);
      };
      const MessageFn done = [&result_path](const std::string& out) { result_path = out; };
      const MessageFn err = [&report](const std::string& e) {
        report.log("cut", "Fehler: " + e, "error");
      };
      // Each file reads the settings as they are now, so a change during the batch applies to
      // the files not yet cut.
      run_cut(fp, live_cfg(), local_log, done, err, paths, bar.run_progress());
      if (result_path.empty())
        continue;
      clip_done(result_path);
      report.log("cut", "OK: " + file_name_of(result_path), "ok");
      const int cut_share = batch_percent(i + 1, total);
      bar.step(cut_share, "Gespeichert – Video " + number, cut_share);
    }
  } catch (const RunCancelled&) {
    return false;
  }
  return true;
}

void report_cut_batch_end(size_t cut, size_t count, const Reporter& report) {
  report.progress("cut", 100, "Fertig ✓");
  report.log(
      "cut",
      "Fertig! " + std::to_string(cut) + "/" + std::to_string(count) + " Videos geschnitten.",
      "ok");
  report.send_state();
  report.notify("Cut Fertig", std::to_string(cut) + " von " + std::to_string(count) +
                                  " Videos erfolgreich geschnitten. Die Videos wurden "
                                  "automatisch in Clips in Reihenfolge übertragen.");
}

void report_cut_batch_cancelled(size_t cut, size_t count, const Reporter& report) {
  report.progress("cut", 0, "Abgebrochen ✗");
  report.log(
      "cut",
      "Abgebrochen! " + std::to_string(cut) + "/" + std::to_string(count) + " Videos geschnitten.",
      "info");
  report.send_state();
  report.notify("Abgebrochen", "Der Schnitt wurde abgebrochen. " + std::to_string(cut) + " von " +
                                   std::to_string(count) +
                                   " Videos wurden geschnitten und automatisch in Clips in "
                                   "Reihenfolge übertragen.");
}
