#include "capcut/capcut_files.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "settings/atomic_file.h"

std::optional<Json> parse_capcut_json(const std::string& bytes) {
  // The parser would skip a byte-order mark silently; CapCut's own files never carry one.
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
    return std::nullopt;
  try {
    return parse_json(bytes);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<Json> read_capcut_json(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    return std::nullopt;
  try {
    return parse_capcut_json(read_file_bytes(path));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void write_capcut_json(const std::filesystem::path& path, const Json& value) {
  write_file_atomically(path, json_file_text(value));
}

long long microseconds_of(double seconds) {
  // nearbyint follows the current rounding mode, which is round-half-to-even by default.
  return static_cast<long long>(std::nearbyint(seconds * 1000000.0));
}

long long unix_time_seconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

long long unix_time_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

FrameSize frame_of(const Json& cfg) {
  const bool has_setting = cfg.is_object() && cfg.contains("resolution");
  return frame_size_for(has_setting ? json_plain_text(cfg["resolution"]) : std::string());
}

std::string with_forward_slashes(std::string path_text) {
  std::replace(path_text.begin(), path_text.end(), '\\', '/');
  return path_text;
}
