#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "settings/fixed_paths.h"
#include "settings/json_text.h"
#include "settings/reporter.h"

// The one object that holds what the backend knows between two commands: the settings, the cut
// queue, the results of the last cut batch, the master list, the busy flag and the support log.
// Its public operations are the command handlers; they run on the command thread. The fields are
// guarded by one mutex, so a job thread may read and change them at the same time.
//
// start_cut and start_export each hand their job to one detached job thread, which the process
// does not wait for. The job reads the settings and sends events through this object; the
// thread itself hands the results over and clears busy. When the command loop ends, the process
// ends through exit_backend (backend_exit.h) while a job thread may still run: the children are
// killed (a job waiting for one stays waiting), the pending files removed, and std::_Exit
// destroys nothing. Until the process is gone, a job thread may therefore go on touching this
// object, its event stream, the process layer and the pending files; a Backend must not be
// destroyed while a job thread runs.
class Backend {
 public:
  // Loads the settings of `paths`; events go to `out`.
  explicit Backend(std::ostream& out, FixedPaths paths = fixed_paths());

  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // The snapshot sent in `state` events: version, cfg, cut_queue, mas_files, busy.
  Json state() const;

  // Reporting, from any thread. When an event cannot be written, the backend ends
  // (backend_exit.h).
  void log(const std::string& panel, const std::string& msg, const std::string& level = "info");
  void progress(const std::string& panel, double pct, const std::string& status);
  void send_event(const std::string& event, const Json& members = Json::object());
  void send_state();

  // Command handlers: each takes the command's payload.
  void bootstrap(const Json& payload);
  void set_config(const Json& payload);
  void add_cut_files(const Json& payload);
  void add_master_files(const Json& payload);
  void clear_cut_queue(const Json& payload);
  void clear_master_queue(const Json& payload);
  void remove_master_index(const Json& payload);
  void move_master(const Json& payload);
  void copy_support_log(const Json& payload);
  void get_state(const Json& payload);
  void start_cut(const Json& payload);
  void start_export(const Json& payload);
  // Ends the running job's FFmpeg child at once and waits until the job has stopped and sent its
  // closing events, then sends the state; without a job, a "Hinweis" notice and nothing else.
  void cancel(const Json& payload);

  // For the command loop and tests.
  Json cfg() const;
  bool busy() const;
  std::vector<std::string> mas_files() const;
  const FixedPaths& paths() const { return paths_; }

 private:
  // Adds the accepted paths of the payload to `list`; returns how many were added.
  int add_paths(const Json& payload, std::vector<std::string>& list);
  // The notices with which both jobs refuse to start; true when the job may start.
  bool may_start_job(bool list_is_empty);
  // Copies the non-empty payload members named in `keys` into cfg (the added keys of
  // settings/config.h whatever their value) and saves it.
  void apply_job_settings(const Json& payload, const std::vector<std::string>& keys);
  // How the jobs and bootstrap report: log, progress, notify and state go out through this object.
  Reporter reporter();
  void set_busy(bool busy);
  // Sends the state, then runs `job` on a detached job thread; busy must be set. So the state
  // that shows the job busy always comes before the job's first event. This is the one
  // catch-all of both jobs: whatever escapes `job` is written to the error log, clears busy and
  // is logged in `panel`, followed by the state, so busy never stays set after a failure. When
  // the state cannot be sent, busy is cleared and the failure thrown; when the thread cannot
  // start, the state is sent again after that. The end
  // of the thread lets children start again after a cancel and wakes cancel.
  void start_job_thread(const std::string& panel, std::function<void()> job);
  // The end of a cut batch, in one step under the lock: each clip of cut_results that still
  // exists and is not yet listed joins the master list, and busy is cleared. Returns how many
  // clips cut_results holds.
  size_t end_cut_batch();

  std::ostream& out_;
  const FixedPaths paths_;

  mutable std::mutex mutex_;
  Json cfg_;
  std::vector<std::string> cut_queue_;
  std::vector<std::string> cut_results_;
  std::vector<std::string> mas_files_;
  bool busy_ = false;
  bool job_running_ = false;  // from the start of a job thread to its end
  std::condition_variable job_ended_;
  std::vector<std::string> support_log_;
};
