#include "autocut/cut_settings.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "media/probe_json.h"
#include "settings/config.h"

namespace {

// The longest pause and margin a jump cut takes: far beyond any pause in a talk, and it keeps
// the seconds that reach FFmpeg's filter text small.
constexpr double MAX_PAUSE_SECONDS = 3600.0;
// Silences shorter than this are the gaps between words, not pauses.
constexpr double MIN_PAUSE = 0.05;

const Json& required_setting(const Json& cfg, const std::string& key) {
  const auto it = cfg.find(key);
  if (it == cfg.end())
    throw std::runtime_error("Einstellung fehlt: " + key);
  return *it;
}

// A setting that goes into FFmpeg's filter text: a number with its unit ("-35dB", "0.5", "500ms"),
// never a character that would end the option and start another option or filter.
std::string filter_setting(const Json& cfg, const std::string& key) {
  const Json& value = required_setting(cfg, key);
  const std::string text = json_plain_text(value);
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '+' || c == '-';
  });
  if (!plain)
    throw invalid_setting(key, value);
  return text;
}

// The suffix becomes part of the clip's file name: it may neither lead into another folder nor
// hold a character that a file name on the desktop systems cannot.
std::string name_suffix(const Json& cfg) {
  const Json& value = required_setting(cfg, "suffix");
  const std::string text = json_plain_text(value);
  const bool fits = std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
  });
  if (!fits)
    throw invalid_setting("suffix", value);
  return text;
}

// A settings value as seconds, the way the settings file may hold it: a number, a boolean or a
// number written as text.
double setting_seconds(const Json& cfg, const std::string& key, double fallback) {
  const auto it = cfg.find(key);
  if (it == cfg.end())
    return fallback;
  if (it->is_boolean())
    return it->get<bool>() ? 1.0 : 0.0;
  if (it->is_number())
    return it->get<double>();
  if (it->is_string()) {
    if (const auto value = number_from_text(it->get_ref<const std::string&>()))
      return *value;
  }
  throw std::runtime_error("Ungültiger Zahlenwert für " + key + ": " + json_plain_text(*it));
}

}  // namespace

CutSettings cut_settings_from(const Json& cfg) {
  CutSettings settings;
  settings.frame = frame_size_for(json_plain_text(required_setting(cfg, "resolution")));
  settings.output_folder = json_plain_text(required_setting(cfg, "output_folder"));
  settings.suffix = name_suffix(cfg);
  settings.silence_threshold = filter_setting(cfg, "silence_threshold");
  settings.silence_duration = filter_setting(cfg, "silence_duration");
  settings.add_padding = setting_seconds(cfg, "add_padding", 0.0);
  const auto trim_silence = cfg.find("trim_silence");
  settings.trim_silence = trim_silence == cfg.end() || !json_is_empty(*trim_silence);
  settings.trim_padding = setting_seconds(cfg, "trim_padding", 0.1);

  if (const auto cut_pauses = cfg.find("cut_pauses");
      cut_pauses != cfg.end() && !cut_pauses->is_null()) {
    if (!cut_pauses->is_boolean())
      throw invalid_setting("cut_pauses", *cut_pauses);
    settings.cut_pauses = cut_pauses->get<bool>();
  }
  settings.pause_min = added_number(cfg, "pause_min", MIN_PAUSE, MAX_PAUSE_SECONDS).value_or(0.5);
  settings.pause_keep = added_number(cfg, "pause_keep", 0.0, MAX_PAUSE_SECONDS).value_or(0.15);
  settings.loudness_target = loudness_target_of(cfg);
  return settings;
}
