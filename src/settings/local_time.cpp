#include "settings/local_time.h"

#include <chrono>
#include <ctime>

std::string local_time_text(const char* format) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char buffer[64];
  const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}
