#include "media/run_progress.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {

const std::string_view OUT_TIME_KEY = "out_time_us=";

}  // namespace

std::optional<double> OutTimeShare::read(std::string_view line) {
  if (span_ <= 0.0 || line.substr(0, OUT_TIME_KEY.size()) != OUT_TIME_KEY)
    return std::nullopt;
  line.remove_prefix(OUT_TIME_KEY.size());
  int64_t us = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), us);
  // "N/A" before the first frame; a negative time before the output's start.
  if (line.empty() || error != std::errc() || end != line.data() + line.size())
    return std::nullopt;
  const double share = std::min(1.0, static_cast<double>(us) / 1e6 / span_);
  if (share <= reached_)
    return std::nullopt;
  reached_ = share;
  return share;
}

ProcessResult run_ffmpeg_with_progress(std::vector<std::string> args, double span,
                                       const ProgressFn& progress, int timeout_seconds,
                                       OutputDecoding decoding) {
  if (!progress || !(span > 0.0))
    return run_process(args, timeout_seconds, decoding);
  args.insert(args.begin() + 1, {"-progress", "pipe:1"});
  OutTimeShare share(span);
  return run_process(args, timeout_seconds, decoding, [&](std::string_view line) {
    if (const auto done = share.read(line))
      progress(*done);
  });
}
