#include "capcut/program_dir.h"

#include <stdexcept>
#include <string>

#ifdef __APPLE__
#include <mach-o/dyld.h>

#include <cstdint>
#include <vector>
#endif

std::filesystem::path program_file() {
#ifdef __APPLE__
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);  // fails, but reports the size the path needs
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0)
    throw std::runtime_error("Der Pfad des Programms kann nicht bestimmt werden.");
  return std::filesystem::path(buffer.data());
#else
  std::error_code error;
  std::filesystem::path file = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    throw std::runtime_error("Der Pfad des Programms kann nicht bestimmt werden: " +
                             error.message());
  return file;
#endif
}
