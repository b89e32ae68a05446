#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The progress bar of a cut batch, derived from the wording of the cut's log messages. Each phase
// owns the bar up to the next phase of the file in the order of the phases (12, 18, 25, 32, 55,
// 78), the last one up to the file's end share: the runs inside a phase move the bar there.

struct CutProgress {
  int pct;
  std::string status;
  int share_end;
};

// The integer part of done / total * 100: where file `done` (counting from 0) begins.
int batch_percent(size_t done, size_t total);

// Where the share of file i's start ends: at its first phase.
int file_start_share_end(size_t i, size_t total);

// The progress that message `m` of file `i` (from 0) of `total` moves the bar to, found by the
// first keyword row it contains (case-insensitive); nothing when it contains none.
std::optional<CutProgress> cut_progress_for(const std::string& m, size_t i, size_t total);
