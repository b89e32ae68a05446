#pragma once

#include <filesystem>
#include <optional>
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

// The choices of make_recording and a few more, for recordings whose encoding matters.
struct RecordingOptions {
  bool starts_with_speech = true;
  int width = 320;  // 0: audio only
  int height = 240;
  int fps = 30;
  int keyframe_interval = 30;  // frames between keyframes; no extra keyframes at scene cuts
  std::string video_codec = "libx264";  // "libvpx-vp9" for WebM
  std::string audio_codec;              // empty: the container's default
};
void make_recording(const fs::path& path, const std::vector<double>& segments,
                    const RecordingOptions& options);

// Sets an environment variable for the scope (unsets it with nothing) and restores it after.
class ScopedEnvVar {
 public:
  ScopedEnvVar(const std::string& name, const std::optional<std::string>& value);
  ~ScopedEnvVar();
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A folder of scripted stand-ins (POSIX shell scripts) put first on the search path for the
// scope; with `only` the search path is that folder alone, so real programs are not found
// (the scripts then name the tools they use by full path).
class ScopedStandIns {
 public:
  explicit ScopedStandIns(bool only = false);
  ScopedStandIns(const ScopedStandIns&) = delete;
  ScopedStandIns& operator=(const ScopedStandIns&) = delete;

  // Writes an executable "#!/bin/sh" script named `program` with the given body.
  void add(const std::string& program, const std::string& body);
  const fs::path& folder() const { return folder_.path(); }
  // The search path the stand-ins are first on, for child processes started with their own
  // environment.
  const std::string& search_path() const { return search_path_; }

 private:
  ScopedTempDir folder_;
  std::string search_path_;
  ScopedEnvVar path_;
};

// The full path of a program on the current search path (for a stand-in that hands some calls
// on to the real program); empty when it is not found.
std::string program_on_path(const std::string& program);

// The ffprobe JSON (-show_format -show_streams) of a file.
std::string probe_json(const fs::path& path);

// True when the process `pid` has ended: gone, or a zombie that nobody reaps (POSIX only).
bool process_has_ended(int pid);

// The running children of `parent` whose command line holds `text` (Linux only).
std::vector<int> children_mentioning(int parent, const std::string& text);

// Stand-ins on the search path that note every ffmpeg and ffprobe run, one line each (the
// program's name, then its arguments), and hand the call on to the real program.
class ChildLog {
 public:
  ChildLog();

  // How often `program` has run so far.
  int runs_of(const std::string& program) const;
  // True when a run so far had `argument` among its arguments.
  bool ran_with(const std::string& argument) const;

 private:
  std::vector<std::string> lines() const;

  const std::string real_ffmpeg_ = program_on_path("ffmpeg");
  const std::string real_ffprobe_ = program_on_path("ffprobe");
  ScopedStandIns stand_ins_;
  const fs::path file_ = stand_ins_.folder() / "children.txt";
};
