#include "autocut/jump_cuts.h"

#include <cmath>

#include "media/timecode.h"
#include "settings/number_text.h"

namespace {

constexpr double MIN_SOUND_PIECE = 0.01;  // kept and cut out at least, without a picture

// The grid point nearest to `seconds`.
double snapped(double seconds, const FrameGrid& grid) {
  if (grid.step <= 0.0)
    return seconds;
  return grid.first + std::round((seconds - grid.first) / grid.step) * grid.step;
}

}  // namespace

FrameGrid clip_frame_grid(const std::optional<PictureFacts>& picture, double clip_start) {
  if (!picture || !picture->rate)
    return {};
  const FrameRate rate = *picture->rate;
  const double step = static_cast<double>(rate.den) / static_cast<double>(rate.num);
  const long long first = first_frame_at(clip_start - picture->start, rate);
  return {picture->start + static_cast<double>(first) * step - clip_start, step};
}

std::vector<Removal> pause_removals(const std::vector<Silence>& pauses, double length,
                                    double pause_min, double pause_keep, const FrameGrid& grid) {
  const double piece = grid.step > 0.0 ? grid.step : MIN_SOUND_PIECE;
  // The first picture stays before any removal, and the last kept stretch starts while the clip
  // still runs.
  const double earliest = grid.step > 0.0 ? grid.first + grid.step : MIN_SOUND_PIECE;
  const double latest = length - (grid.step > 0.0 ? grid.step / 2.0 : MIN_SOUND_PIECE);
  std::vector<Removal> removals;
  for (const Silence& pause : pauses) {
    if (pause.start <= 0.0 || pause.end >= length || pause.end - pause.start < pause_min)
      continue;
    const double from = snapped(pause.start + pause_keep, grid);
    const double to = snapped(pause.end - pause_keep, grid);
    if (from < earliest || to > latest || to - from < piece * 0.999)
      continue;
    if (!removals.empty() && from < removals.back().to + piece * 0.999)
      removals.back().to = std::fmax(removals.back().to, to);
    else
      removals.push_back({from, to});
  }
  return removals;
}

std::vector<ClipSpan> kept_spans(double length, const std::vector<Removal>& removals) {
  std::vector<ClipSpan> spans;
  double from = 0.0;
  for (const Removal& removal : removals) {
    spans.push_back({from, removal.from});
    from = removal.to;
  }
  spans.push_back({from, length});
  return spans;
}

double removed_seconds(const std::vector<Removal>& removals) {
  double removed = 0.0;
  for (const Removal& removal : removals)
    removed += removal.to - removal.from;
  return removed;
}

std::vector<double> joins_of(const std::vector<Removal>& removals) {
  std::vector<double> joins;
  double removed = 0.0;
  for (const Removal& removal : removals) {
    joins.push_back(removal.from - removed);
    removed += removal.to - removal.from;
  }
  return joins;
}

std::string cuts_tag_text(const std::vector<double>& joins) {
  std::string text;
  for (const double join : joins)
    text += (text.empty() ? "" : ",") + tag_seconds_text(join);
  return text;
}
