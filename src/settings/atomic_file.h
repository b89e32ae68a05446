#pragma once

#include <filesystem>
#include <string>

// Replaces the file at `path` with `content` through a temporary file in the same folder and a
// rename, so a crash or a full disk never leaves a half-written file and concurrent writers
// never mix. Throws std::runtime_error on failure; the old file then stays as it was.
void write_file_atomically(const std::filesystem::path& path, const std::string& content);

// The whole file as bytes; throws std::runtime_error when it cannot be read.
std::string read_file_bytes(const std::filesystem::path& path);
