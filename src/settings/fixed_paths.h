#pragma once

#include <filesystem>

// The fixed places in the user's home folder. Computed once, from HOME (USERPROFILE on
// Windows); none of them is created.
struct FixedPaths {
  std::filesystem::path home;
  std::filesystem::path desktop;    // DESKTOP
  std::filesystem::path cfg_file;   // CFG_FILE, the settings file
  std::filesystem::path error_log;  // ERROR_LOG, the report of the latest failure
};

FixedPaths fixed_paths_for_home(const std::filesystem::path& home);

// The paths of the current user, computed on first use.
const FixedPaths& fixed_paths();
