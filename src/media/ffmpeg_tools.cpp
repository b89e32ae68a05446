#include "media/ffmpeg_tools.h"
#include "media/path_argument.h"

#include <stdexcept>

#include "media/probe_json.h"
#include "media/process.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr int CHECK_TIMEOUT = 5;  // seconds
constexpr int PROBE_TIMEOUT = 60;
constexpr size_t PROBE_ERROR_TAIL = 500;  // characters of ffprobe's standard error quoted

// What the readers of probe_json.h look at in each stream: its kind, its sound channels and
// format, its size, frame rates and start, its timecode tag and its rotation (side data since
// FFmpeg 5, a "rotate" tag before).
const char* const STREAM_FACTS =
    "codec_type,channels,sample_rate,bits_per_sample,bits_per_raw_sample,width,height,"
    "sample_aspect_ratio,r_frame_rate,avg_frame_rate,start_time:stream_tags=timecode,rotate:"
    "stream_side_data=rotation";

// ffprobe's JSON of the format section and, unless `stream_entries` is empty, of those entries
// of each stream.
ProcessResult probe_format(const std::string& fp, const std::string& stream_entries = "") {
  std::vector<std::string> args = {"ffprobe",       "-v",   "quiet",
                                   "-print_format", "json", "-show_format"};
  if (!stream_entries.empty())
    args.insert(args.end(), {"-show_entries", "stream=" + stream_entries});
  args.push_back(path_argument(fp));
  return run_process(args, PROBE_TIMEOUT, OutputDecoding::strict_utf8);
}

bool is_blank(const std::string& text) {
  return text.find_first_not_of(" \t\n\r\f\v") == std::string::npos;
}

double duration_from_probe(const std::string& fp, const ProcessResult& result) {
  if (result.exit_code != 0 || is_blank(result.out)) {
    throw std::runtime_error("ffprobe konnte die Videolänge nicht lesen: " + file_name_of(fp) +
                             "\n" + utf8_tail(result.err, PROBE_ERROR_TAIL));
  }
  return duration_from_probe_json(result.out);
}

}  // namespace

bool check_ffmpeg() {
  try {
    return run_process({"ffmpeg", "-version"}, CHECK_TIMEOUT, OutputDecoding::raw).exit_code == 0;
  } catch (const std::exception&) {
    return false;
  }
}

double get_duration(const std::string& fp) {
  return duration_from_probe(fp, probe_format(fp));
}

std::optional<HandlePair> get_handles(const std::string& fp) {
  try {
    const ProcessResult result = probe_format(fp);
    if (result.exit_code != 0)
      return std::nullopt;
    return handles_from_probe_json(result.out);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

ClipFacts get_duration_and_handles(const std::string& fp) {
  const FileProbe probe = probe_file(fp, STREAM_FACTS);
  // A run that gave a duration is one get_handles would have read the tags from.
  const auto timecode = timecode_from_probe_json(probe.json);
  return {probe.duration,
          handles_from_probe_json(probe.json),
          sound_channels_in_probe_json(probe.json),
          timecode ? timecode->start : std::nullopt,
          sound_format_in_probe_json(probe.json),
          picture_from_probe_json(probe.json),
          cuts_from_probe_json(probe.json)};
}

RecordingFacts get_duration_and_sound(const std::string& fp) {
  const FileProbe probe = probe_file(fp, STREAM_FACTS);
  return {probe.duration, has_sound_track_in_probe_json(probe.json),
          picture_missing_in_probe_json(probe.json), timecode_from_probe_json(probe.json)};
}

FileProbe probe_file(const std::string& fp, const std::string& stream_entries) {
  ProcessResult result = probe_format(fp, stream_entries);
  const double duration = duration_from_probe(fp, result);
  return {duration, std::move(result.out)};
}
