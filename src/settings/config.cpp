#include "settings/config.h"

#include <algorithm>

#include "settings/atomic_file.h"
#include "settings/constants.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

Json default_cfg(const std::filesystem::path& desktop) {
  Json cfg = Json::object();
  cfg["output_folder"] = path_to_utf8(desktop);
  cfg["silence_threshold"] = SILENCE_THRESHOLD;
  cfg["silence_duration"] = SILENCE_DURATION;
  cfg["suffix"] = "_cut";
  cfg["trim_silence"] = true;
  cfg["trim_padding"] = 3.0;
  cfg["resolution"] = RES_OPTIONS.front().first;
  cfg["add_padding"] = 0.0;
  return cfg;
}

Json load_cfg(const FixedPaths& paths) {
  Json cfg = default_cfg(paths.desktop);
  try {
    std::error_code error;
    if (fs::exists(paths.cfg_file, error)) {
      const std::string text = read_file_bytes(paths.cfg_file);
      if (is_valid_utf8(text)) {
        const Json stored = parse_json(text);
        if (stored.is_object()) {
          for (auto it = stored.begin(); it != stored.end(); ++it)
            cfg[it.key()] = *it;
        }
      }
    }
  } catch (const std::exception&) {
    // A broken settings file leaves the defaults.
  }
  cfg["resolution"] = RES_OPTIONS.front().first;
  return cfg;
}

void save_cfg(const Json& cfg, const FixedPaths& paths) {
  try {
    write_file_atomically(paths.cfg_file, json_file_text(cfg));
  } catch (const std::exception&) {
    // The settings live on in memory.
  }
}

const std::vector<std::string> ADDED_KEYS = {"cut_pauses", "pause_min", "pause_keep",
                                             "loudness_target"};

bool is_added_key(const std::string& key) {
  return std::find(ADDED_KEYS.begin(), ADDED_KEYS.end(), key) != ADDED_KEYS.end();
}

void set_added_key(Json& cfg, const std::string& key, const Json& value) {
  if (value.is_null())
    cfg.erase(key);
  else
    cfg[key] = value;
}

std::runtime_error invalid_setting(const std::string& key, const Json& value) {
  return std::runtime_error("Ungültiger Wert für " + key + ": " + json_plain_text(value));
}

std::optional<double> added_number(const Json& cfg, const std::string& key, double low,
                                   double high) {
  const auto it = cfg.find(key);
  if (it == cfg.end() || it->is_null())
    return std::nullopt;
  if (!it->is_number() || !(it->get<double>() >= low && it->get<double>() <= high))
    throw invalid_setting(key, *it);
  return it->get<double>();
}

std::optional<double> loudness_target_of(const Json& cfg) {
  // Quieter than the loudness meter's floor there is nothing to aim at, and above full scale no
  // sound can be.
  return added_number(cfg, "loudness_target", -70.0, 0.0);
}
