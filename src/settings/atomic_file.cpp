#include "settings/atomic_file.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>

#include "settings/path_text.h"
#include "settings/pending_files.h"

namespace {

std::string unique_suffix() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return ".tmp" + std::to_string(ticks) + "_" + std::to_string(counter++);
}

}  // namespace

void write_file_atomically(const fs::path& path, const std::string& content) {
  fs::path temporary_path = path;
  temporary_path += unique_suffix();
  const PendingFile temporary(temporary_path);
  {
    std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
    if (!out)
      throw std::runtime_error("Datei kann nicht geschrieben werden: " + path_to_utf8(path));
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out)
      throw std::runtime_error("Datei kann nicht geschrieben werden: " + path_to_utf8(path));
  }
  std::error_code error;
  fs::rename(temporary.path(), path, error);
  if (error) {
    throw std::runtime_error("Datei kann nicht ersetzt werden: " + path_to_utf8(path) + " (" +
                             error.message() + ")");
  }
}

std::string read_file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("Datei kann nicht gelesen werden: " + path_to_utf8(path));
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad())
    throw std::runtime_error("Datei kann nicht gelesen werden: " + path_to_utf8(path));
  return content;
}
