#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Replaces the file at `path` with `content` through a temporary file in the same folder and a
// rename, so a crash or a full disk never leaves a half-written file and concurrent writers
// never mix. `mode`, when given, becomes the new file's permission bits before it takes the old
// one's place. Throws std::runtime_error on failure; the old file then stays as it was.
void write_file_atomically(const std::filesystem::path& path, const std::string& content,
                           const std::optional<std::filesystem::perms>& mode = std::nullopt);

// write_file_atomically for a file that someone else set up: a symbolic link at `path` is
// followed to its final target, which is replaced while the links stay, and the new file keeps
// the permission bits of the file it replaces. An absent file is created like
// write_file_atomically does. Throws std::runtime_error on failure; files and links then stay.
void rewrite_file_atomically(const std::filesystem::path& path, const std::string& content);

// The whole file as bytes; throws std::runtime_error when it cannot be read.
std::string read_file_bytes(const std::filesystem::path& path);
