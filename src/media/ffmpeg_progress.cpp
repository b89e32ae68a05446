#include "media/ffmpeg_progress.h"

#include <charconv>
#include <cstdint>

namespace {

const std::string_view US_KEY = "out_time_us=";
const std::string_view MS_KEY = "out_time_ms=";

// A whole number and nothing else; "N/A" gives nothing.
std::optional<int64_t> whole_number(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

}  // namespace

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
      us = whole_number(line.substr(US_KEY.size()));
    else if (line.substr(0, MS_KEY.size()) == MS_KEY)
      ms_named_us = whole_number(line.substr(MS_KEY.size()));
    begin = end + 1;
  }
  const std::optional<int64_t> value = us ? us : ms_named_us;
  if (!value)
    return std::nullopt;
  return static_cast<double>(*value) / 1e6;
}
