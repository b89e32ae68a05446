#include "settings/fixed_paths.h"

#include <cstdlib>

#include "settings/path_text.h"

namespace {

fs::path user_home() {
#ifdef _WIN32
  if (const wchar_t* profile = _wgetenv(L"USERPROFILE"); profile && *profile) {
    return fs::path(profile);
  }
#else
  if (const char* home = std::getenv("HOME"); home && *home)
    return path_from_utf8(home);
#endif
  std::error_code error;
  return fs::current_path(error);
}

}  // namespace

FixedPaths fixed_paths_for_home(const fs::path& home) {
  FixedPaths paths;
  paths.home = home;
  paths.desktop = home / "Desktop";
  paths.cfg_file = home / ".pindrale_config.json";
  paths.error_log = paths.desktop / "TavelmorStudio_ERROR.txt";
  return paths;
}

const FixedPaths& fixed_paths() {
  static const FixedPaths paths = fixed_paths_for_home(user_home());
  return paths;
}
