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
// error log of `paths`. Throws only when reporting fails.
void cut_batch(const std::vector<std::string>& queue, const SettingsFn& live_cfg,
               const Reporter& report, const FixedPaths& paths, const MessageFn& clip_done);

// The events that close a batch in which `cut` of `count` recordings became clips, ending with
// the "Cut Fertig" notice. The host sends them once the clips are in the master list and it is
// no longer busy, so the state they carry shows both.
void report_cut_batch_end(size_t cut, size_t count, const Reporter& report);
