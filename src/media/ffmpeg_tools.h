#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/sdr_conversion.h"
#include "media/timecode.h"

// The shared media operations, each one FFmpeg or ffprobe run, but for those that need a file's
// duration (get_duration, get_duration_and_handles, probe_file): for a file that states none they
// add a second run, an FFmpeg run that measures it.

// True when "ffmpeg -version" runs and exits 0 (5 s at most); never fails.
bool check_ffmpeg();

// The duration of a media file in seconds: the one it states (ffprobe's format section, else its
// streams), else measured by one more FFmpeg run that reads its packets to the end (a browser's
// WebM states none). Throws rather than return a default.
double get_duration(const std::string& fp);

// Where a cut file's content begins and ends, in seconds within the file: the container tags
// TAVELMOR_C_IN and TAVELMOR_C_OUT.
struct HandlePair {
  double c_in;
  double c_out;
};

// The failure for a file whose length cannot be known: it states none, and FFmpeg read none from
// its content; FFmpeg's error text, when it failed, is quoted.
std::runtime_error no_duration_failure(const std::string& fp, const std::string& ffmpeg_error = "");

// The handle tags of a file, or nothing when it has no usable pair. Never fails.
std::optional<HandlePair> get_handles(const std::string& fp);

// A file's timecode as its tags give it.
struct ProbedTimecode {
  std::optional<Timecode> start;  // of the first video frame; nothing when it cannot be read
  double first_frame_at = 0.0;    // seconds from the file's start to that frame
};

// The picture of a file's first video stream as players show it.
struct PictureFacts {
  int width = 0;  // the stored width stretched by the sample aspect, then turned by the rotation
  int height = 0;
  std::optional<FrameRate> rate;  // the rate FFmpeg encodes it at; nothing when unknown
  bool square_pixels = true;      // false: the sample aspect stretches the stored pixels
  ColourCoding colour;
  double start = 0.0;  // seconds from the file's start to its first picture
};

// The format of a file's first sound stream; 0 where the probe does not tell.
struct SoundFormat {
  int sample_rate = 0;
  int depth = 0;  // bits per sample; 0 for codecs without a fixed depth (AAC, Opus)
};

// What one ffprobe run tells about a file: its duration, its handle tags, the channels of its
// first sound track (0 without one; nothing when the probe does not say) and their format, its
// timecode, its picture (nothing without a video stream or when the probe does not tell), and
// the joins listed in its TAVELMOR_CUTS tag (empty without one).
struct ClipFacts {
  double duration;
  std::optional<HandlePair> handles;
  std::optional<int> sound_channels;
  std::optional<Timecode> timecode;
  SoundFormat sound_format;
  std::optional<PictureFacts> picture;
  std::vector<double> cuts;
};

// get_duration and get_handles of one file from a single ffprobe run, for callers that need both,
// with the facts of its streams: fails as get_duration does, and the handles are what get_handles
// would give.
ClipFacts get_duration_and_handles(const std::string& fp);

// What one ffprobe run tells about a recording to cut: the duration it states (nothing when it
// states none), how many sound tracks it has and their sample rates, whether it is known to have
// no picture, its picture, and its timecode when it carries a timecode tag.
struct RecordingFacts {
  std::optional<double> duration;
  bool picture_missing;
  std::optional<ProbedTimecode> timecode;
  std::optional<PictureFacts> picture;
  std::vector<int> sound_rates;  // of each sound track, 0 where the probe does not tell

  size_t sound_tracks() const { return sound_rates.size(); }
  bool has_sound() const { return !sound_rates.empty(); }
};

// The checks for a sound track and a picture, the timecode and the stated duration from a single
// ffprobe run: fails as get_duration does when ffprobe fails, but measures nothing; the cut
// learns the length of a recording that states none from its own analysis.
RecordingFacts get_duration_and_sound(const std::string& fp);

// One ffprobe run for callers that read several facts of a file: its duration and the JSON
// text of its format section and, unless `stream_entries` is empty, of those entries of each
// stream (for example "codec_type,channels"); the duration found as get_duration finds it (a
// stream's duration counts only where `stream_entries` asks for it). Fails as get_duration does.
struct FileProbe {
  double duration;
  std::string json;
};
FileProbe probe_file(const std::string& fp, const std::string& stream_entries);
