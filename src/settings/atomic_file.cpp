#include "settings/atomic_file.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "settings/path_text.h"
#include "settings/pending_files.h"

namespace {

// Links followed before a chain counts as a loop, as the POSIX systems bound it.
constexpr int MAX_LINK_HOPS = 40;

std::string unique_suffix() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return ".tmp" + std::to_string(ticks) + "_" + std::to_string(counter++);
}

// The file that `path` finally names once its symbolic links are followed; relative link
// targets count from the link's folder.
fs::path final_link_target(const fs::path& path) {
  fs::path current = path;
  for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error)))
      return current;
    const fs::path target = fs::read_symlink(current, error);
    if (error)
      throw std::runtime_error("Datei kann nicht ersetzt werden: " + path_to_utf8(path) + " (" +
                               error.message() + ")");
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  throw std::runtime_error("Datei kann nicht ersetzt werden: " + path_to_utf8(path) +
                           " (zu viele symbolische Links)");
}

}  // namespace

void write_file_atomically(const fs::path& path, const std::string& content,
                           const std::optional<fs::perms>& mode) {
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
  if (mode) {
    // Best effort: a file system that cannot hold the bits gave the old file none to keep.
    std::error_code ignored;
    fs::permissions(temporary.path(), *mode, fs::perm_options::replace, ignored);
  }
  std::error_code error;
  fs::rename(temporary.path(), path, error);
  if (error) {
    throw std::runtime_error("Datei kann nicht ersetzt werden: " + path_to_utf8(path) + " (" +
                             error.message() + ")");
  }
}

void rewrite_file_atomically(const fs::path& path, const std::string& content) {
  const fs::path target = final_link_target(path);
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  std::optional<fs::perms> mode;
  if (!error && fs::exists(status))
    mode = status.permissions();
  write_file_atomically(target, content, mode);
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
