#include "autocut/cut_batch.h"

#include <algorithm>

#include "autocut/clip_cut.h"
#include "autocut/cut_progress.h"
#include "settings/path_text.h"

void report_cut_batch_start(size_t count, const Reporter& report) {
  report.progress("cut", 0, "Starte Batch ...");
  report.log("cut", "Starte Batch: " + std::to_string(count) + " Video(s) ...", "info");
}

void cut_batch(const std::vector<std::string>& queue, const SettingsFn& live_cfg,
               const Reporter& report, const FixedPaths& paths, const MessageFn& clip_done) {
  const size_t total = std::max<size_t>(queue.size(), 1);
  for (size_t i = 0; i < queue.size(); ++i) {
    const std::string& fp = queue[i];
    const std::string number = std::to_string(i + 1) + "/" + std::to_string(total);
    report.progress("cut", batch_percent(i, total), "Video " + number + ": " + file_name_of(fp));
    std::string result_path;
    const MessageFn local_log = [&report, i, total](const std::string& m) {
      report.log("cut", m, "info");
      if (const auto step = cut_progress_for(m, i, total))
        report.progress("cut", step->pct, step->status);
    };
    const MessageFn done = [&result_path](const std::string& out) { result_path = out; };
    const MessageFn err = [&report](const std::string& e) {
      report.log("cut", "Fehler: " + e, "error");
    };
    // Each file reads the settings as they are now, so a change during the batch applies to
    // the files not yet cut.
    run_cut(fp, live_cfg(), local_log, done, err, paths);
    if (result_path.empty())
      continue;
    clip_done(result_path);
    report.log("cut", "OK: " + file_name_of(result_path), "ok");
    report.progress("cut", batch_percent(i + 1, total), "Gespeichert – Video " + number);
  }
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
