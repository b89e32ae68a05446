#include "media/timecode.h"

#include <charconv>
#include <cmath>

namespace {

constexpr long long MAX_RATE_PART = 1000000000;
constexpr double FRAME_TOLERANCE = 0.001;  // of a frame, see first_frame_at
constexpr long long HOURS_PER_DAY = 24;

std::optional<long long> whole_number(std::string_view text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end)
    return std::nullopt;
  return value;
}

std::optional<int> two_digits(std::string_view text, size_t at) {
  if (at + 2 > text.size())
    return std::nullopt;
  const char tens = text[at];
  const char ones = text[at + 1];
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
    return std::nullopt;
  return (tens - '0') * 10 + (ones - '0');
}

// The frame numbers drop-frame skips at the start of a minute: 2 per 30 timecode frames.
long long dropped_per_minute(int fps) {
  return fps / 30 * 2;
}

long long frames_per_day(const Timecode& timecode) {
  const int fps = timecode_fps(timecode.rate);
  long long frames = HOURS_PER_DAY * 3600 * fps;
  if (timecode.drop_frame)
    frames -= dropped_per_minute(fps) * (HOURS_PER_DAY * 60 - HOURS_PER_DAY * 6);
  return frames;
}

// The frame number as the timecode shows it, with the skipped drop-frame numbers counted.
long long displayed_frame(const Timecode& timecode) {
  if (!timecode.drop_frame)
    return timecode.frame;
  const int fps = timecode_fps(timecode.rate);
  const long long drop = dropped_per_minute(fps);
  const long long per_ten_minutes = 600LL * fps - 9 * drop;
  const long long per_minute = 60LL * fps - drop;  // the nine minutes that skip numbers
  const long long tens = timecode.frame / per_ten_minutes;
  const long long rest = timecode.frame % per_ten_minutes;
  long long skipped = 9 * drop * tens;
  if (rest >= drop)
    skipped += drop * ((rest - drop) / per_minute);
  return timecode.frame + skipped;
}

}  // namespace

std::optional<FrameRate> frame_rate_from_text(std::string_view text) {
  const size_t slash = text.find('/');
  const auto num = whole_number(text.substr(0, slash));
  const auto den = slash == std::string_view::npos ? std::optional<long long>(1)
                                                   : whole_number(text.substr(slash + 1));
  if (!num || !den || *num < 1 || *den < 1 || *num > MAX_RATE_PART || *den > MAX_RATE_PART)
    return std::nullopt;
  return FrameRate{*num, *den};
}

int timecode_fps(FrameRate rate) {
  return static_cast<int>((rate.num + rate.den / 2) / rate.den);
}

bool is_ntsc_rate(FrameRate rate) {
  return rate.num % rate.den != 0;
}

std::optional<Timecode> parse_timecode(std::string_view text, FrameRate rate) {
  const int fps = timecode_fps(rate);
  if (fps < 1 || (text.size() != 11 && text.size() != 12) || text[2] != ':' || text[5] != ':')
    return std::nullopt;
  const char mark = text[8];
  const bool drop_frame = mark == ';' || mark == ',' || mark == '.';
  if (mark != ':' && !drop_frame)
    return std::nullopt;
  const auto hours = two_digits(text, 0);
  const auto minutes = two_digits(text, 3);
  const auto seconds = two_digits(text, 6);
  const auto frames = whole_number(text.substr(9));
  if (!hours || !minutes || !seconds || !frames || *hours >= HOURS_PER_DAY || *minutes >= 60 ||
      *seconds >= 60 || *frames >= fps) {
    return std::nullopt;
  }
  const long long minutes_total = *hours * 60LL + *minutes;
  long long frame = (minutes_total * 60 + *seconds) * fps + *frames;
  if (drop_frame) {
    const long long drop = dropped_per_minute(fps);
    const bool skipping_minute = *minutes % 10 != 0;
    if (fps % 30 != 0 || (skipping_minute && *seconds == 0 && *frames < drop))
      return std::nullopt;
    frame -= drop * (minutes_total - minutes_total / 10);
  }
  return Timecode{frame, rate, drop_frame};
}

Timecode add_frames(const Timecode& timecode, long long frames) {
  const long long day = frames_per_day(timecode);
  Timecode moved = timecode;
  moved.frame = ((timecode.frame + frames % day) % day + day) % day;
  return moved;
}

std::string timecode_text(const Timecode& timecode) {
  const long long fps = timecode_fps(timecode.rate);
  const long long shown = displayed_frame(timecode);
  const long long fields[] = {shown / (fps * 3600) % HOURS_PER_DAY, shown / (fps * 60) % 60,
                              shown / fps % 60, shown % fps};
  std::string text;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0)
      text += (i == 3 && timecode.drop_frame) ? ';' : ':';
    if (fields[i] < 10)
      text += '0';
    text += std::to_string(fields[i]);
  }
  return text;
}

Timecode timecode_at_rate(const Timecode& timecode, FrameRate rate) {
  const long long from_fps = timecode_fps(timecode.rate);
  const long long to_fps = timecode_fps(rate);
  const long long shown = displayed_frame(timecode);
  const long long whole_seconds = shown / from_fps;
  const long long frames = (shown % from_fps * to_fps * 2 + from_fps) / (from_fps * 2);
  return add_frames(Timecode{0, rate, false}, whole_seconds * to_fps + frames);
}

long long first_frame_at(double seconds, FrameRate rate) {
  const double frames =
      seconds * static_cast<double>(rate.num) / static_cast<double>(rate.den) - FRAME_TOLERANCE;
  if (!(frames > 0.0))
    return 0;
  return static_cast<long long>(std::ceil(std::fmin(frames, 1e15)));
}
