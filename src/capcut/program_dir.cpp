#include "capcut/program_dir.h"

std::filesystem::path program_dir() {
  const std::filesystem::path file = program_file();
  // macOS may report a path through symbolic links; the folder that counts is the real one.
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(file, error);
  if (error)
    resolved = std::filesystem::absolute(file).lexically_normal();
  return resolved.parent_path();
}
