#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Helpers shared by the tests: scratch folders, files, and media made with the real FFmpeg.

namespace fs = std::filesystem;

// A fresh folder below the system's temporary folder, removed with everything in it at the end
// of the scope (also when an assertion fails).
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& prefix = "tavelmor_test_");
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const fs::path& path() const { return path_; }
  std::string text() const;  // UTF-8
  fs::path operator/(const std::string& name) const;

 private:
  fs::path path_;
};

void write_text_file(const fs::path& path, const std::string& content);
std::string read_text_file(const fs::path& path);

// Runs ffmpeg with "-y -nostdin -hide_banner -loglevel error" and the given arguments; fails the
// calling test (throws) when it exits non-zero.
void run_ffmpeg(const std::vector<std::string>& args);

// A tone for speech and silence for pauses: `segments` alternate between speech and silence,
// starting with speech when `starts_with_speech`. Video (a test pattern of width x height at 30
// fps, H.264 + AAC) unless `width` is 0, which makes an audio-only file. The container follows
// the extension of `path`.
void make_recording(const fs::path& path, const std::vector<double>& segments,
                    bool starts_with_speech = true, int width = 320, int height = 240);

// The ffprobe JSON (-show_format -show_streams) of a file.
std::string probe_json(const fs::path& path);
