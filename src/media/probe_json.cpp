#include "media/probe_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "settings/json_text.h"

namespace {

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

// The tag named `upper` unless it is absent or empty, else the tag named `lower`.
const Json* tag_value(const Json& tags, const std::string& upper, const std::string& lower) {
  const auto it = tags.find(upper);
  if (it != tags.end() && !(it->is_string() && it->get_ref<const std::string&>().empty()))
    return &*it;
  const auto fallback = tags.find(lower);
  return fallback == tags.end() ? nullptr : &*fallback;
}

// The codec types of the probe's streams, or nothing when it has no usable streams section.
std::optional<std::vector<std::string>> stream_types(const std::string& json_text) {
  try {
    const Json probe = parse_json(json_text);
    if (!probe.is_object() || !probe.contains("streams") || !probe["streams"].is_array())
      return std::nullopt;
    std::vector<std::string> types;
    for (const Json& stream : probe["streams"]) {
      const Json type = stream.is_object() ? stream.value("codec_type", Json()) : Json();
      types.push_back(type.is_string() ? type.get<std::string>() : "");
    }
    return types;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool lists(const std::vector<std::string>& types, const std::string& type) {
  return std::find(types.begin(), types.end(), type) != types.end();
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

double duration_from_probe_json(const std::string& json_text) {
  const Json probe = parse_json(json_text);
  if (!probe.is_object() || !probe.contains("format") || !probe["format"].is_object())
    throw std::runtime_error("ffprobe lieferte keinen format-Abschnitt");
  const Json& format = probe["format"];
  if (!format.contains("duration"))
    throw std::runtime_error("ffprobe lieferte keine Dauer (format.duration fehlt)");
  const std::optional<double> seconds = seconds_of(format["duration"]);
  if (!seconds)
    throw std::runtime_error("ffprobe lieferte keine gültige Dauer: " +
                             json_plain_text(format["duration"]));
  return *seconds;
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
  const auto types = stream_types(json_text);
  return types && lists(*types, "audio");
}

bool picture_missing_in_probe_json(const std::string& json_text) {
  const auto types = stream_types(json_text);
  return types && !lists(*types, "video");
}
