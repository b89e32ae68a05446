#include "settings/pending_files.h"

#include <mutex>
#include <set>

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
