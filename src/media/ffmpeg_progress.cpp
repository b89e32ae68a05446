#include "media/ffmpeg_progress.h"

#include <algorithm>
#include <charconv>

namespace {

const std::string_view US_KEY = "out_time_us=";
const std::string_view MS_KEY = "out_time_ms=";

}  // namespace

std::optional<int64_t> progress_microseconds(std::string_view line, std::string_view key) {
  if (line.substr(0, key.size()) != key)
    return std::nullopt;
  const std::string_view text = line.substr(key.size());
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::optional<double> progress_out_seconds(std::string_view progress) {
  std::optional<int64_t> us;
  std::optional<int64_t> ms_named_us;
  size_t begin = 0;
  while (begin < progress.size()) {
    size_t end = progress.find_first_of("\r\n", begin);
    if (end == std::string_view::npos)
      end = progress.size();
    const std::string_view line = progress.substr(begin, end - begin);
    if (line.substr(0, US_KEY.size()) == US_KEY)
      us = progress_microseconds(line, US_KEY);
    else if (line.substr(0, MS_KEY.size()) == MS_KEY)
      ms_named_us = progress_microseconds(line, MS_KEY);
    begin = end + 1;
  }
  const std::optional<int64_t> value = us ? us : ms_named_us;
  if (!value)
    return std::nullopt;
  return static_cast<double>(*value) / 1e6;
}

std::optional<double> OutTimeShare::read(std::string_view line) {
  if (span_ <= 0.0)
    return std::nullopt;
  // "N/A" before the first frame; a negative time before the output's start.
  const std::optional<int64_t> us = progress_microseconds(line, US_KEY);
  if (!us)
    return std::nullopt;
  const double share = std::min(1.0, static_cast<double>(*us) / 1e6 / span_);
  if (share <= reached_)
    return std::nullopt;
  reached_ = share;
  return share;
}
