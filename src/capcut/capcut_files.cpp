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

std::optional<Json> read_capcut_json(const std::filesystem::path& path, std::uintmax_t max_bytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > max_bytes)
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

long long unix_time_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

// The members that hold times since the epoch in CapCut's meta files and registry entries.
const char* const TIME_MEMBERS[] = {
    "tm_draft_create", "tm_draft_modified", "tm_draft_removed", "tm_draft_cloud_modified",
    "create_time",     "update_time",       "modify_time"};

std::optional<TimeUnit> unit_shown_by(const Json& value) {
  if (!value.is_number_integer() || value.get<long long>() <= 0)
    return std::nullopt;
  return value.get<long long>() >= 1000000000000000LL ? TimeUnit::microseconds
                                                      : TimeUnit::milliseconds;
}

std::optional<TimeUnit> unit_of_member(const Json& object, const char* name) {
  const auto member = object.find(name);
  return member == object.end() ? std::nullopt : unit_shown_by(*member);
}

}  // namespace

TimeUnit time_unit_for(const Json& object, const std::string& name) {
  if (!object.is_object())
    return TimeUnit::microseconds;
  if (const auto own = unit_of_member(object, name.c_str()))
    return *own;
  for (const char* other : TIME_MEMBERS) {
    if (const auto shown = unit_of_member(object, other))
      return *shown;
  }
  return TimeUnit::microseconds;
}

long long modified_time_us(const Json& entry) {
  const auto member = entry.find("tm_draft_modified");
  if (member == entry.end() || !member->is_number_integer())
    return -1;
  const long long value = member->get<long long>();
  return time_unit_for(entry, "tm_draft_modified") == TimeUnit::microseconds ? value : value * 1000;
}

long long time_in_unit(long long unix_us, TimeUnit unit) {
  return unit == TimeUnit::microseconds ? unix_us : unix_us / 1000;
}

void set_time_members(Json& object, std::initializer_list<const char*> names, long long unix_us) {
  for (const char* name : names) {
    if (object.contains(name))
      object[name] = time_in_unit(unix_us, time_unit_for(object, name));
  }
}

FrameSize frame_of(const Json& cfg) {
  const bool has_setting = cfg.is_object() && cfg.contains("resolution");
  return frame_size_for(has_setting ? json_plain_text(cfg["resolution"]) : std::string());
}

std::string with_forward_slashes(std::string path_text) {
  std::replace(path_text.begin(), path_text.end(), '\\', '/');
  return path_text;
}
