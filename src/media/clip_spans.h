#pragma once

#include <vector>

// The stretches of a clip between its edit points: a jump-cut clip is one piece of footage per
// stretch, joined, and editors show each join as a cut of its own.

// A stretch in seconds within the clip's file.
struct ClipSpan {
  double start;
  double end;
};

// [start, end] split at each of the rising `joins` that lies inside it; joins at or outside its
// ends split nothing. One span when there is no join.
std::vector<ClipSpan> spans_between_joins(double start, double end,
                                          const std::vector<double>& joins);
