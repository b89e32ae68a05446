#include "export/fcpxml_time.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "media/clip_spans.h"

namespace {

constexpr long long TIMELINE_FPS = 60;
constexpr double RATE_TOLERANCE = 2e-4;    // relative, see frame_duration_for_rate
constexpr double FRAME_TOLERANCE = 0.001;  // of a frame, see whole_frames

bool near(double rate, double standard) {
  return std::fabs(rate - standard) <= RATE_TOLERANCE * standard;
}

// The file's frames that one timeline frame spans, rounded up.
long long frames_per_timeline_frame(FrameDuration frame) {
  return std::max(1LL, (frame.den + frame.num * TIMELINE_FPS - 1) / (frame.num * TIMELINE_FPS));
}

// The whole timeline frames that fit into `frames` frames of `frame`.
long long timeline_frames_within(long long frames, FrameDuration frame) {
  return frames * frame.num * TIMELINE_FPS / frame.den;
}

}  // namespace

std::optional<FrameDuration> frame_duration_for_rate(FrameRate rate) {
  const double fps = static_cast<double>(rate.num) / static_cast<double>(rate.den);
  if (!(fps >= 1.0 && fps <= 1000.0))
    return std::nullopt;
  const long long whole = std::llround(fps);
  if (near(fps, static_cast<double>(whole)))
    return FrameDuration{100, 100 * whole};
  const long long ntsc = std::llround(fps * 1001.0 / 1000.0);
  if (near(fps, static_cast<double>(ntsc) * 1000.0 / 1001.0))
    return FrameDuration{1001, ntsc * 1000};
  const long long common = std::gcd(rate.num, rate.den);
  return FrameDuration{rate.den / common, rate.num / common};
}

std::string frame_duration_text(FrameDuration frame) {
  return std::to_string(frame.num) + "/" + std::to_string(frame.den) + "s";
}

std::string time_text(long long frames, FrameDuration frame) {
  const long long num = frames * frame.num;
  if (num % frame.den == 0)
    return std::to_string(num / frame.den) + "s";
  return std::to_string(num) + "/" + std::to_string(frame.den) + "s";
}

long long whole_frames(double seconds, FrameDuration frame) {
  const double frames =
      seconds * static_cast<double>(frame.den) / static_cast<double>(frame.num) + FRAME_TOLERANCE;
  const long long least = frames_per_timeline_frame(frame);
  if (!(frames > static_cast<double>(least)))
    return least;
  return static_cast<long long>(std::floor(frames));
}

std::vector<ClipPiece> clip_pieces(FrameDuration frame, long long file_frames, double t_start,
                                   double t_end, const std::vector<double>& joins) {
  const auto file_frame = [&](double seconds) {
    const double frames =
        std::round(seconds * static_cast<double>(frame.den) / static_cast<double>(frame.num));
    return static_cast<long long>(std::clamp(frames, 0.0, static_cast<double>(file_frames)));
  };
  std::vector<ClipPiece> pieces;
  for (const ClipSpan& span : spans_between_joins(t_start, t_end, joins)) {
    const long long in = file_frame(span.start);
    const long long length = timeline_frames_within(file_frame(span.end) - in, frame);
    if (length > 0)
      pieces.push_back({in, length});
  }
  if (pieces.empty()) {
    const long long latest = std::max(0LL, file_frames - frames_per_timeline_frame(frame));
    pieces.push_back({std::min(file_frame(t_start), latest), 1});
  }
  return pieces;
}
