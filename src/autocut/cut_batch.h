#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/reporter.h"

// The cut batch: the recordings of a copied queue cut one after another on the job thread, each
// step reported to the "cut" panel. The host guards the start, keeps the results and clears its
// busy flag; these functions only cut and report.

// The events that open a batch of `count` recordings.
void report_cut_batch_start(size_t count, const Reporter& report);

// Cuts every recording of `queue` in order, each with the settings that `live_cfg` gives when
// its cut begins, and hands each finished clip's path to `clip_done` as soon as it is cut. A
// recording that fails is logged and the batch goes on; the failure is also written to the
// error log of `paths`. The runs of each cut move the bar within their phase. Returns false when
// the batch was cancelled (media/process.h): it stops at once, what the recording in work was
// making is gone, and the clips cut before have gone to `clip_done`. Throws only when reporting
// fails.
bool cut_batch(const std::vector<std::string>& queue, const SettingsFn& live_cfg,
               const Reporter& report, const FixedPaths& paths, const MessageFn& clip_done);

// The events that close a batch in which `cut` of `count` recordings became clips, ending with
// the "Cut Fertig" notice. The host sends them once the clips are in the master list and it is
// no longer busy, so the state they carry shows both.
void report_cut_batch_end(size_t cut, size_t count, const Reporter& report);

// The events that close a batch that was cancelled after `cut` of `count` recordings became
// clips, in the same order and with the notice "Abgebrochen".
void report_cut_batch_cancelled(size_t cut, size_t count, const Reporter& report);
