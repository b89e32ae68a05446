#include "settings/pending_files.h"

#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

#include "settings/path_text.h"

namespace {

std::mutex registry_lock;
std::multiset<fs::path>& registry() {
  static std::multiset<fs::path> pending;
  return pending;
}

void remove_quietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

}  // namespace

PendingFile::PendingFile(fs::path path) : path_(std::move(path)) {
  std::lock_guard<std::mutex> hold(registry_lock);
  registry().insert(path_);
}

PendingFile::~PendingFile() {
  std::lock_guard<std::mutex> hold(registry_lock);
  remove_quietly(path_);
  registry().erase(registry().find(path_));
}

std::string PendingFile::text() const {
  return path_to_utf8(path_);
}

void remove_pending_files() {
  std::lock_guard<std::mutex> hold(registry_lock);
  for (const fs::path& path : registry())
    remove_quietly(path);
}

fs::path claim_temporary_path(const std::string& prefix, const std::string& extension,
                              const std::function<bool(const fs::path&)>& claim,
                              const std::string& failure) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(random()));
    const fs::path path = fs::temp_directory_path() / (prefix + name + extension);
    if (claim(path))
      return path;
  }
  throw std::runtime_error(failure);
}

fs::path fresh_temporary_path(const std::string& prefix, const std::string& extension) {
  return claim_temporary_path(
      prefix, extension,
      [](const fs::path& path) {
        std::error_code unknown;
        return !fs::exists(path, unknown) && !unknown;
      },
      "Temporäre Datei konnte nicht angelegt werden");
}
