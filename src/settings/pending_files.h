#pragma once

#include <filesystem>
#include <functional>
#include <string>

// What the running steps are making and has not become a result yet: temporary files and
// folders, and results being written beside their final name. Each is registered while it is
// made and removed at the end of its scope, whatever way the step ends there. A step that is
// ended from outside (an exit path of the process) never reaches the end of its scopes, so the
// exit path removes whatever is registered with remove_pending_files. Thread-safe.

// Registers `path` for the life of the object; at its end, whatever lies at `path` is removed (a
// folder with everything in it). A result moved away from `path` before is not touched.
class PendingFile {
 public:
  explicit PendingFile(std::filesystem::path path);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string text() const;  // UTF-8

 private:
  std::filesystem::path path_;
};

// A path in the system's temporary folder: `prefix`, a random name and `extension`, the first of
// a hundred that `claim` accepts; `claim` returns false when the name is taken, and may make what
// is to lie there at once, so that no other run can take it in between. Throws `failure` when
// no name is accepted.
std::filesystem::path claim_temporary_path(
    const std::string& prefix, const std::string& extension,
    const std::function<bool(const std::filesystem::path&)>& claim, const std::string& failure);

// A path in the system's temporary folder that nothing lies at yet: `prefix`, a random name and
// `extension`.
std::filesystem::path fresh_temporary_path(const std::string& prefix, const std::string& extension);

// Removes everything that is registered now; failures are ignored. The registrations stay, so
// the scopes that made them end as usual if they get the chance.
void remove_pending_files();
