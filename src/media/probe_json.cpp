#include "media/probe_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "settings/json_text.h"
#include "settings/path_text.h"

namespace {

constexpr long long MAX_CHANNELS = 1024;  // more is no sound track but a broken probe

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A text or number member as seconds; nothing for any other kind of value.
std::optional<double> seconds_of(const Json& value) {
  if (value.is_string())
    return number_from_text(value.get_ref<const std::string&>());
  if (value.is_number()) {
    const double number = value.get<double>();
    if (std::isfinite(number))
      return number;
  }
  return std::nullopt;
}

// "HH:MM:SS.fraction" as Matroska's DURATION tag writes it, in seconds; nothing for any other text.
std::optional<double> clock_seconds(const std::string& text) {
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos)
    return std::nullopt;
  const auto hours = number_from_text(std::string_view(text).substr(0, first));
  const auto minutes =
      number_from_text(std::string_view(text).substr(first + 1, second - first - 1));
  const auto seconds = number_from_text(std::string_view(text).substr(second + 1));
  if (!hours || !minutes || !seconds || *hours < 0.0 || *minutes < 0.0 || *minutes >= 60.0 ||
      *seconds < 0.0 || *seconds >= 60.0)
    return std::nullopt;
  return *hours * 3600.0 + *minutes * 60.0 + *seconds;
}

// The tag named `upper` unless it is absent or empty, else the tag named `lower`.
const Json* tag_value(const Json& tags, const std::string& upper, const std::string& lower) {
  const auto it = tags.find(upper);
  if (it != tags.end() && !(it->is_string() && it->get_ref<const std::string&>().empty()))
    return &*it;
  const auto fallback = tags.find(lower);
  return fallback == tags.end() ? nullptr : &*fallback;
}

// The probe's JSON object when it has a usable streams section.
std::optional<Json> probe_with_streams(const std::string& json_text) {
  try {
    Json probe = parse_json(json_text);
    if (!probe.is_object() || !probe.contains("streams") || !probe["streams"].is_array())
      return std::nullopt;
    return probe;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool is_stream_of_kind(const Json& stream, const char* kind) {
  return stream.is_object() && stream.value("codec_type", Json()) == kind;
}

// Whether the probe lists a stream of `kind`; nothing when it has no usable streams section.
std::optional<bool> lists_stream_of_kind(const std::string& json_text, const char* kind) {
  const auto probe = probe_with_streams(json_text);
  if (!probe)
    return std::nullopt;
  const Json& streams = (*probe)["streams"];
  return std::any_of(streams.begin(), streams.end(),
                     [kind](const Json& stream) { return is_stream_of_kind(stream, kind); });
}

// The "timecode" entry of a tags object in any letter case, when it is text.
std::optional<std::string> timecode_tag(const Json& owner) {
  if (!owner.is_object() || !owner.contains("tags") || !owner["tags"].is_object())
    return std::nullopt;
  for (const auto& [key, value] : owner["tags"].items()) {
    if (value.is_string() && to_lower_ascii(key) == "timecode")
      return value.get<std::string>();
  }
  return std::nullopt;
}

std::optional<FrameRate> rate_member(const Json& stream, const char* name) {
  const Json value = stream.value(name, Json());
  return value.is_string() ? frame_rate_from_text(value.get_ref<const std::string&>())
                           : std::nullopt;
}

// The rate FFmpeg takes for a video stream it encodes: a real base rate above 210 with an
// average below 70 is a container clock, not a frame rate.
std::optional<FrameRate> encoding_rate(const Json& video) {
  const auto base = rate_member(video, "r_frame_rate");
  const auto average = rate_member(video, "avg_frame_rate");
  const auto as_double = [](FrameRate rate) {
    return static_cast<double>(rate.num) / static_cast<double>(rate.den);
  };
  if (!base || (average && as_double(*base) > 210.0 && as_double(*average) < 70.0))
    return average;
  return base;
}

// The first stream of `kind` in the probe's streams section; nullptr when it lists none.
const Json* first_stream_of_kind(const Json& probe, const char* kind) {
  for (const Json& stream : probe["streams"]) {
    if (is_stream_of_kind(stream, kind))
      return &stream;
  }
  return nullptr;
}

// A count ffprobe writes as a number or as digits in text ("48000"); 0 for anything else.
int whole_number_of(const Json& value) {
  if (value.is_number_integer()) {
    const long long number = value.get<long long>();
    return number > 0 && number < 1000000000 ? static_cast<int>(number) : 0;
  }
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    int number = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc() && stop == text.data() + text.size() && number > 0 &&
        number < 1000000000)
      return number;
  }
  return 0;
}

// "4:3" as a ratio; nothing for "0:1", "N/A" and anything else that is no pair of positive counts.
std::optional<std::pair<int, int>> aspect_ratio_of(const Json& value) {
  if (!value.is_string())
    return std::nullopt;
  const std::string& text = value.get_ref<const std::string&>();
  const size_t colon = text.find(':');
  if (colon == std::string::npos)
    return std::nullopt;
  const int num = whole_number_of(Json(text.substr(0, colon)));
  const int den = whole_number_of(Json(text.substr(colon + 1)));
  if (num == 0 || den == 0)
    return std::nullopt;
  return std::pair<int, int>{num, den};
}

// The turn of a video stream in degrees, from 0 to 359.
long long rotation_of(const Json& video) {
  double degrees = 0.0;
  const Json side_data = video.value("side_data_list", Json());
  if (side_data.is_array()) {
    for (const Json& entry : side_data) {
      if (entry.is_object() && entry.contains("rotation")) {
        degrees = seconds_of(entry["rotation"]).value_or(0.0);
        break;
      }
    }
  }
  if (degrees == 0.0 && video.contains("tags") && video["tags"].is_object())
    degrees = seconds_of(video["tags"].value("rotate", Json())).value_or(0.0);
  if (std::abs(degrees) > 1e6)
    return 0;
  return ((std::llround(degrees) % 360) + 360) % 360;
}

// A text member of a stream; empty when it is missing or no text.
std::string text_member(const Json& stream, const char* name) {
  const Json value = stream.value(name, Json());
  return value.is_string() ? value.get<std::string>() : std::string();
}

ColourCoding colour_coding_of(const Json& video) {
  ColourCoding coding;
  coding.transfer = transfer_named(text_member(video, "color_transfer"));
  coding.primaries = text_member(video, "color_primaries");
  coding.matrix = text_member(video, "color_space");
  coding.full_range = text_member(video, "color_range") == "pc";
  return coding;
}

double start_time_of(const Json& owner) {
  const auto it = owner.find("start_time");
  if (it == owner.end())
    return 0.0;
  return seconds_of(*it).value_or(0.0);
}

}  // namespace

std::optional<double> number_from_text(std::string_view text) {
  while (!text.empty() && is_space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && is_space(text.back()))
    text.remove_suffix(1);
  // from_chars takes no leading plus sign; a second sign after it must still fail.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
      return std::nullopt;
  }
  if (text.empty())
    return std::nullopt;
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<double> duration_from_probe_json(const std::string& json_text) {
  try {
    const Json probe = parse_json(json_text);
    if (!probe.is_object())
      return std::nullopt;
    const Json format = probe.value("format", Json::object());
    if (format.is_object() && format.contains("duration")) {
      if (const auto seconds = seconds_of(format["duration"]); seconds && *seconds >= 0.0)
        return seconds;
    }
    const Json streams = probe.value("streams", Json::array());
    if (!streams.is_array())
      return std::nullopt;
    std::optional<double> longest;
    for (const Json& stream : streams) {
      if (!stream.is_object())
        continue;
      std::optional<double> seconds;
      if (stream.contains("duration"))
        seconds = seconds_of(stream["duration"]);
      if (!seconds && stream.contains("tags") && stream["tags"].is_object()) {
        for (const auto& [key, value] : stream["tags"].items()) {
          if (to_lower_ascii(key) == "duration" && value.is_string())
            seconds = clock_seconds(value.get_ref<const std::string&>());
        }
      }
      if (seconds && *seconds >= 0.0 && (!longest || *seconds > *longest))
        longest = seconds;
    }
    return longest;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<HandlePair> handles_from_probe_json(const std::string& json_text) {
  try {
    const Json probe = parse_json(json_text);
    if (!probe.is_object())
      return std::nullopt;
    const Json format = probe.value("format", Json::object());
    if (!format.is_object())
      return std::nullopt;
    const Json tags = format.value("tags", Json::object());
    if (!tags.is_object())
      return std::nullopt;
    const Json* c_in = tag_value(tags, "TAVELMOR_C_IN", "tavelmor_c_in");
    const Json* c_out = tag_value(tags, "TAVELMOR_C_OUT", "tavelmor_c_out");
    if (c_in == nullptr || c_out == nullptr)
      return std::nullopt;
    const std::optional<double> in = seconds_of(*c_in);
    const std::optional<double> out = seconds_of(*c_out);
    if (!in || !out)
      return std::nullopt;
    return HandlePair{*in, *out};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool has_sound_track_in_probe_json(const std::string& json_text) {
  return lists_stream_of_kind(json_text, "audio").value_or(false);
}

bool picture_missing_in_probe_json(const std::string& json_text) {
  return !lists_stream_of_kind(json_text, "video").value_or(true);
}

bool has_picture_in_probe_json(const std::string& json_text) {
  return lists_stream_of_kind(json_text, "video").value_or(false);
}

int sound_track_count_in_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  if (!probe)
    return 0;
  const Json& streams = (*probe)["streams"];
  return static_cast<int>(std::count_if(streams.begin(), streams.end(), [](const Json& stream) {
    return is_stream_of_kind(stream, "audio");
  }));
}

std::vector<int> sound_rates_in_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  std::vector<int> rates;
  if (!probe)
    return rates;
  for (const Json& stream : (*probe)["streams"]) {
    if (is_stream_of_kind(stream, "audio"))
      rates.push_back(whole_number_of(stream.value("sample_rate", Json())));
  }
  return rates;
}

std::optional<int> sound_channels_in_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  if (!probe)
    return std::nullopt;
  for (const Json& stream : (*probe)["streams"]) {
    if (!is_stream_of_kind(stream, "audio"))
      continue;
    const Json channels = stream.value("channels", Json());
    if (channels.is_number_integer() && channels.get<long long>() > 0 &&
        channels.get<long long>() <= MAX_CHANNELS) {
      return static_cast<int>(channels.get<long long>());
    }
    return std::nullopt;
  }
  return 0;
}

std::vector<double> cuts_from_probe_json(const std::string& json_text) {
  try {
    const Json probe = parse_json(json_text);
    if (!probe.is_object())
      return {};
    const Json format = probe.value("format", Json::object());
    const Json tags = format.is_object() ? format.value("tags", Json::object()) : Json();
    if (!tags.is_object())
      return {};
    const Json* listed = tag_value(tags, "TAVELMOR_CUTS", "tavelmor_cuts");
    if (listed == nullptr || !listed->is_string())
      return {};
    const std::string& text = listed->get_ref<const std::string&>();
    std::vector<double> cuts;
    for (size_t begin = 0; begin <= text.size();) {
      const size_t comma = std::min(text.find(',', begin), text.size());
      const auto seconds = number_from_text(std::string_view(text).substr(begin, comma - begin));
      if (!seconds || *seconds <= 0.0 || (!cuts.empty() && *seconds <= cuts.back()))
        return {};
      cuts.push_back(*seconds);
      begin = comma + 1;
    }
    return cuts;
  } catch (const std::exception&) {
    return {};
  }
}

std::optional<PictureFacts> picture_from_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  if (!probe)
    return std::nullopt;
  const Json* video = first_stream_of_kind(*probe, "video");
  if (video == nullptr)
    return std::nullopt;
  PictureFacts picture;
  picture.width = whole_number_of(video->value("width", Json()));
  picture.height = whole_number_of(video->value("height", Json()));
  if (picture.width == 0 || picture.height == 0)
    return std::nullopt;
  if (const auto aspect = aspect_ratio_of(video->value("sample_aspect_ratio", Json()));
      aspect && aspect->first != aspect->second) {
    const double shown = static_cast<double>(picture.width) * aspect->first / aspect->second;
    picture.width = std::max(2, static_cast<int>(std::llround(shown / 2.0)) * 2);
    picture.square_pixels = false;
  }
  picture.colour = colour_coding_of(*video);
  const long long turn = rotation_of(*video);
  if (turn == 90 || turn == 270)
    std::swap(picture.width, picture.height);
  picture.rate = encoding_rate(*video);
  const Json format = probe->value("format", Json::object());
  if (format.is_object())
    picture.start = start_time_of(*video) - start_time_of(format);
  return picture;
}

SoundFormat sound_format_in_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  const Json* sound = probe ? first_stream_of_kind(*probe, "audio") : nullptr;
  if (sound == nullptr)
    return {};
  SoundFormat format;
  format.sample_rate = whole_number_of(sound->value("sample_rate", Json()));
  format.depth = whole_number_of(sound->value("bits_per_sample", Json()));
  if (format.depth == 0)
    format.depth = whole_number_of(sound->value("bits_per_raw_sample", Json()));
  return format;
}

std::optional<ProbedTimecode> timecode_from_probe_json(const std::string& json_text) {
  const auto probe = probe_with_streams(json_text);
  if (!probe)
    return std::nullopt;
  const Json& streams = (*probe)["streams"];
  const auto video = std::find_if(streams.begin(), streams.end(), [](const Json& stream) {
    return is_stream_of_kind(stream, "video");
  });
  std::optional<std::string> text = video != streams.end() ? timecode_tag(*video) : std::nullopt;
  for (auto it = streams.begin(); !text && it != streams.end(); ++it) {
    if (is_stream_of_kind(*it, "data"))
      text = timecode_tag(*it);
  }
  const Json format = probe->value("format", Json::object());
  if (!text)
    text = timecode_tag(format);
  if (!text)
    return std::nullopt;
  ProbedTimecode timecode;
  if (video != streams.end()) {
    if (const auto rate = encoding_rate(*video))
      timecode.start = parse_timecode(*text, *rate);
    if (format.is_object())
      timecode.first_frame_at = start_time_of(*video) - start_time_of(format);
  }
  return timecode;
}
