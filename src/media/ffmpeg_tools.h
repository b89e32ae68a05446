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

// What one ffprobe run tells about a file: its duration and its handle tags.
struct ClipFacts {
  double duration;
  std::optional<HandlePair> handles;
};

// get_duration and get_handles of one file from a single ffprobe run, for callers that need both:
// fails as get_duration does, and the handles are what get_handles would give.
ClipFacts get_duration_and_handles(const std::string& fp);

// What one ffprobe run tells about a recording to cut: its duration, whether it has sound, and
// whether it is known to have no picture.
struct RecordingFacts {
  double duration;
  bool has_sound;
  bool picture_missing;
};

// get_duration and the checks for a sound track and a picture from a single ffprobe run: fails
// as get_duration does.
RecordingFacts get_duration_and_sound(const std::string& fp);

// One ffprobe run for callers that read several facts of a file: its duration and the JSON
// text of its format section and, unless `stream_entries` is empty, of those entries of each
// stream (for example "codec_type,channels"). Fails as get_duration does.
struct FileProbe {
  double duration;
  std::string json;
};
FileProbe probe_file(const std::string& fp, const std::string& stream_entries);
