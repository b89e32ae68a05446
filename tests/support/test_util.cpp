#include "support/test_util.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
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
  RecordingOptions options;
  options.starts_with_speech = starts_with_speech;
  options.width = width;
  options.height = height;
  make_recording(path, segments, options);
}

void make_recording(const fs::path& path, const std::vector<double>& segments,
                    const RecordingOptions& options) {
  const bool starts_with_speech = options.starts_with_speech;
  const int width = options.width;
  const int height = options.height;
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
            "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                ":rate=" + std::to_string(options.fps),
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
            options.video_codec,
            "-pix_fmt",
            "yuv420p",
            "-g",
            std::to_string(options.keyframe_interval),
            "-keyint_min",
            std::to_string(options.keyframe_interval)};
    if (options.video_codec == "libx264") {
      args.insert(args.end(), {"-preset", "ultrafast", "-sc_threshold", "0"});
    } else if (options.video_codec == "libvpx-vp9") {
      args.insert(args.end(), {"-deadline", "realtime", "-cpu-used", "8", "-b:v", "200k"});
    }
  } else {
    args = {"-f",  "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", double_text(total),
            "-af", volume};
  }
  if (!options.audio_codec.empty())
    args.insert(args.end(), {"-c:a", options.audio_codec});
  args.push_back(path_to_utf8(path));
  run_ffmpeg(args);
}

std::string probe_json(const fs::path& path) {
  const ProcessResult result = run_process({"ffprobe", "-v", "quiet", "-print_format", "json",
                                            "-show_format", "-show_streams", path_to_utf8(path)},
                                           60, OutputDecoding::replace_invalid);
  return result.out;
}

ScopedEnvVar::ScopedEnvVar(const std::string& name, const std::optional<std::string>& value)
    : name_(name) {
  if (const char* old = std::getenv(name.c_str()))
    old_ = old;
#ifdef _WIN32
  _putenv_s(name.c_str(), value.value_or("").c_str());
#else
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
#endif
}

ScopedEnvVar::~ScopedEnvVar() {
#ifdef _WIN32
  _putenv_s(name_.c_str(), old_.value_or("").c_str());
#else
  if (old_)
    setenv(name_.c_str(), old_->c_str(), 1);
  else
    unsetenv(name_.c_str());
#endif
}

namespace {

std::string current_search_path() {
  const char* path = std::getenv("PATH");
  return path ? path : "";
}

}  // namespace

ScopedStandIns::ScopedStandIns(bool only)
    : folder_("tavelmor_standins_"),
      search_path_(only ? folder_.text() : folder_.text() + ":" + current_search_path()),
      path_("PATH", search_path_) {}

void ScopedStandIns::add(const std::string& program, const std::string& body) {
  const fs::path script = folder_.path() / program;
  write_text_file(script, "#!/bin/sh\n" + body + "\n");
  fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

std::string program_on_path(const std::string& program) {
  std::string path = current_search_path();
  size_t begin = 0;
  while (begin <= path.size()) {
    const size_t end = std::min(path.find(':', begin), path.size());
    const fs::path candidate = fs::path(path.substr(begin, end - begin)) / program;
    std::error_code error;
    if (end > begin && fs::is_regular_file(candidate, error))
      return candidate.string();
    begin = end + 1;
  }
  return "";
}

std::vector<int> children_mentioning(int parent, const std::string& text) {
  std::vector<int> found;
  std::error_code error;
  for (auto it = fs::directory_iterator("/proc", error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const std::string stat = read_text_file(it->path() / "stat");
    const size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos)
      continue;
    // After the name: the state, then the parent's id.
    if (std::atoi(stat.c_str() + name_end + 4) != parent || process_has_ended(std::stoi(name)))
      continue;
    std::string command_line = read_text_file(it->path() / "cmdline");
    std::replace(command_line.begin(), command_line.end(), '\0', ' ');
    if (command_line.find(text) != std::string::npos)
      found.push_back(std::stoi(name));
  }
  return found;
}

bool process_has_ended(int pid) {
  const std::string stat = read_text_file(fs::path("/proc") / std::to_string(pid) / "stat");
  if (stat.empty())
    return true;
  const size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos || name_end + 2 >= stat.size())
    return true;
  const char state = stat[name_end + 2];
  return state == 'Z' || state == 'X';
}

ChildLog::ChildLog() {
  for (const auto& [program, real] :
       {std::pair{"ffmpeg", real_ffmpeg_}, {"ffprobe", real_ffprobe_}}) {
    // One line per run, written at once (runs overlap): the name, then each argument after a
    // tab.
    stand_ins_.add(program, "line=$(printf '%s' " + std::string(program) +
                                "; printf '\\t%s' \"$@\")\nprintf '%s\\n' \"$line\" >> '" +
                                path_to_utf8(file_) + "'\nexec '" + real + "' \"$@\"");
  }
}

std::vector<std::string> ChildLog::lines() const {
  std::istringstream text(fs::exists(file_) ? read_text_file(file_) : "");
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);)
    lines.push_back(line);
  return lines;
}

int ChildLog::runs_of(const std::string& program) const {
  int runs = 0;
  for (const std::string& line : lines())
    runs += line.substr(0, line.find('\t')) == program ? 1 : 0;
  return runs;
}

bool ChildLog::ran_with(const std::string& argument) const {
  for (const std::string& line : lines()) {
    if ((line + "\t").find("\t" + argument + "\t") != std::string::npos)
      return true;
  }
  return false;
}
