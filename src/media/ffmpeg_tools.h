#pragma once

#include <optional>
#include <string>

// The shared media operations, each one FFmpeg or ffprobe run.

// True when "ffmpeg -version" runs and exits 0 (5 s at most); never fails.
bool check_ffmpeg();

// The duration of a media file in seconds, from ffprobe's format section. Throws rather than
// return a default.
double get_duration(const std::string& fp);

// Where a cut file's content begins and ends, in seconds within the file: the container tags
// TAVELMOR_C_IN and TAVELMOR_C_OUT.
struct HandlePair {
  double c_in;
  double c_out;
};

// The handle tags of a file, or nothing when it has no usable pair. Never fails.
std::optional<HandlePair> get_handles(const std::string& fp);
