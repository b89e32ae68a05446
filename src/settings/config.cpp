#include "settings/config.h"

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
