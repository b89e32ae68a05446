#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

// The fixed media facts of the backend: frames, accepted extensions, audio outputs, timeouts.

inline const std::string VERSION = "1.0";
inline const std::string SILENCE_THRESHOLD = "-35dB";
inline constexpr double SILENCE_DURATION = 0.5;
inline constexpr int FFMPEG_TIMEOUT = 1800;  // seconds

struct FrameSize {
  int width;
  int height;
};

// Label to frame, in the order the frontend offers them.
inline const std::vector<std::pair<std::string, FrameSize>> RES_OPTIONS = {
    {"Hochformat 1080x1920", {1080, 1920}},
    {"Querformat 1920x1080", {1920, 1080}},
};

inline const std::set<std::string> VIDEO_EXTS = {".mp4", ".m4v", ".mts", ".mov",
                                                 ".avi", ".mkv", ".ts",  ".webm"};
inline const std::set<std::string> AUDIO_EXTS = {".m4a",  ".aac",  ".wav", ".mp3",
                                                 ".flac", ".opus", ".ogg"};

// Output extension and encoder arguments for an audio recording.
struct AudioOutput {
  std::string extension;
  std::vector<std::string> codec_args;
};

// The output for an audio recording with the given extension (any case).
const AudioOutput& audio_output_for(const std::string& extension);

// The frame for a `resolution` label; throws when the label is unknown.
FrameSize frame_size_for(const std::string& label);

// True when the lower-cased extension of `path_text` is in AUDIO_EXTS (the name alone counts).
bool is_audio_file(const std::string& path_text);

// True when the lower-cased extension is in VIDEO_EXTS or AUDIO_EXTS.
bool has_media_extension(const std::string& path_text);
