#include "autocut/speech_bounds.h"

#include <algorithm>

#include "autocut/cut_messages.h"
#include "settings/number_text.h"

namespace {

constexpr double EDGE_TOLERANCE = 0.1;  // a silence this close to an edge touches it
constexpr double MIN_SPEECH = 0.3;      // shorter speech sections are not worth trimming to

}  // namespace

SpeechBounds speech_bounds_within(double total, const std::vector<Silence>& silences,
                                  double padding) {
  double start = 0.0;
  double end = total;
  if (!silences.empty()) {
    if (silences.front().start < EDGE_TOLERANCE)
      start = silences.front().end;
    if (silences.back().end > total - EDGE_TOLERANCE)
      end = silences.back().start;
  }
  start = std::max(0.0, start - padding);
  end = std::min(total, end + padding);
  if (start >= end || end - start < MIN_SPEECH)
    return {0.0, total, true};
  return {start, end, false};
}

SpeechBounds find_speech_bounds(double total, const std::vector<Silence>& silences, double padding,
                                const MessageFn& log) {
  const SpeechBounds bounds = speech_bounds_within(total, silences, padding);
  if (log) {
    if (bounds.whole_file) {
      log(SPEECH_TRIMMING_IMPOSSIBLE);
    } else {
      log("Sprache: " + fixed_text(bounds.start, 2) + "s – " + fixed_text(bounds.end, 2) + "s (" +
          fixed_text(bounds.end - bounds.start, 1) + "s)");
    }
  }
  return bounds;
}
