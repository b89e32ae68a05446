#include "support/test_util.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "media/process.h"
#include "settings/number_text.h"
#include "settings/path_text.h"

ScopedTempDir::ScopedTempDir(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  const std::string name = prefix + std::to_string(seed()) + "_" + std::to_string(counter++);
  path_ = fs::temp_directory_path() / name;
  fs::create_directories(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScopedTempDir::text() const {
  return path_to_utf8(path_);
}

fs::path ScopedTempDir::operator/(const std::string& name) const {
  return path_ / path_from_utf8(name);
}

void write_text_file(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_text_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void run_ffmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"ffmpeg",       "-y",        "-nostdin",
                                      "-hide_banner", "-loglevel", "error"};
  command.insert(command.end(), args.begin(), args.end());
  const ProcessResult result = run_process(command, 300, OutputDecoding::replace_invalid);
  if (result.exit_code != 0)
    throw std::runtime_error("ffmpeg failed: " + result.err);
}

void make_recording(const fs::path& path, const std::vector<double>& segments,
                    bool starts_with_speech, int width, int height) {
  double total = 0.0;
  std::string volume = "volume='";
  bool speech = starts_with_speech;
  std::string expression = "0";
  // A piecewise level: 1 during speech segments, 0 during pauses.
  double at = 0.0;
  std::string sum;
  for (const double length : segments) {
    if (speech) {
      if (!sum.empty())
        sum += "+";
      sum += "between(t," + double_text(at) + "," + double_text(at + length) + ")";
    }
    at += length;
    speech = !speech;
  }
  total = at;
  if (!sum.empty())
    expression = sum;
  volume += expression + "':eval=frame";

  std::vector<std::string> args;
  if (width > 0) {
    args = {"-f",
            "lavfi",
            "-i",
            "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=30",
            "-f",
            "lavfi",
            "-i",
            "sine=frequency=440:sample_rate=48000",
            "-t",
            double_text(total),
            "-af",
            volume,
            "-map",
            "0:v",
            "-map",
            "1:a",
            "-c:v",
            "libx264",
            "-preset",
            "ultrafast",
            "-pix_fmt",
            "yuv420p",
            "-g",
            "30"};
  } else {
    args = {"-f",  "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", double_text(total),
            "-af", volume};
  }
  args.push_back(path_to_utf8(path));
  run_ffmpeg(args);
}

std::string probe_json(const fs::path& path) {
  const ProcessResult result = run_process({"ffprobe", "-v", "quiet", "-print_format", "json",
                                            "-show_format", "-show_streams", path_to_utf8(path)},
                                           60, OutputDecoding::replace_invalid);
  return result.out;
}
