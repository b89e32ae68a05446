#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The progress bar of a cut batch, derived from the wording of the cut's log messages.

struct CutProgress {
  int pct;
  std::string status;
};

// The integer part of done / total * 100: where file `done` (counting from 0) begins.
int batch_percent(size_t done, size_t total);

// The progress that message `m` of file `i` (from 0) of `total` moves the bar to, found by the
// first keyword row it contains (case-insensitive); nothing when it contains none.
std::optional<CutProgress> cut_progress_for(const std::string& m, size_t i, size_t total);
