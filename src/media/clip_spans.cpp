#include "media/clip_spans.h"

std::vector<ClipSpan> spans_between_joins(double start, double end,
                                          const std::vector<double>& joins) {
  std::vector<ClipSpan> spans;
  double from = start;
  for (const double join : joins) {
    if (join > from && join < end) {
      spans.push_back({from, join});
      from = join;
    }
  }
  spans.push_back({from, end});
  return spans;
}
