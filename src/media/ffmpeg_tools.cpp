#include "media/ffmpeg_tools.h"
#include "media/path_argument.h"

#include <stdexcept>

#include "media/ffmpeg_progress.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "settings/constants.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr int CHECK_TIMEOUT = 5;  // seconds
constexpr int PROBE_TIMEOUT = 60;
constexpr size_t PROBE_ERROR_TAIL = 500;  // characters of ffprobe's standard error quoted
constexpr size_t FFMPEG_ERROR_TAIL = 800;

// What the readers of probe_json.h look at in each stream: its kind, its sound channels and
// format, its size, frame rates, start and duration, its colour coding, its timecode and
// duration tags and its rotation (side data since FFmpeg 5, a "rotate" tag before).
const char* const STREAM_FACTS =
    "codec_type,channels,sample_rate,bits_per_sample,bits_per_raw_sample,width,height,"
    "sample_aspect_ratio,r_frame_rate,avg_frame_rate,start_time,duration,color_transfer,"
    "color_primaries,color_space,color_range:stream_tags=timecode,rotate,duration:"
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

// ffprobe's JSON, or the failure of a probe that did not run or printed nothing.
std::string checked_probe(const std::string& fp, ProcessResult result) {
  if (result.exit_code != 0 || is_blank(result.out)) {
    throw std::runtime_error("ffprobe konnte die Videolänge nicht lesen: " + file_name_of(fp) +
                             "\n" + utf8_tail(result.err, PROBE_ERROR_TAIL));
  }
  return std::move(result.out);
}

// The length of a file that states none: how far FFmpeg gets when it copies the packets of its
// pictures and sound to nowhere, which reads the file without decoding it.
double measured_duration(const std::string& fp) {
  const ProcessResult run = run_process(
      {"ffmpeg", "-hide_banner", "-nostdin", "-progress", "pipe:1", "-i", path_argument(fp), "-map",
       "0:v?", "-map", "0:a?", "-c", "copy", "-f", "null", "-"},
      FFMPEG_TIMEOUT, OutputDecoding::replace_invalid);
  const std::optional<double> seconds = progress_out_seconds(run.out);
  if (run.exit_code != 0 || !seconds || !(*seconds > 0.0))
    throw no_duration_failure(fp, run.exit_code != 0 ? run.err : "");
  return *seconds;
}

double duration_of(const std::string& fp, const std::string& json) {
  if (const std::optional<double> stated = duration_from_probe_json(json))
    return *stated;
  return measured_duration(fp);
}

}  // namespace

bool check_ffmpeg() {
  try {
    return run_process({"ffmpeg", "-version"}, CHECK_TIMEOUT, OutputDecoding::raw).exit_code == 0;
  } catch (const std::exception&) {
    return false;
  }
}

std::runtime_error no_duration_failure(const std::string& fp, const std::string& ffmpeg_error) {
  std::string message = "Keine Dauer: " + file_name_of(fp) +
                        " nennt keine Länge, und aus dem Inhalt ließ sich keine lesen";
  if (!ffmpeg_error.empty())
    message += "\n" + utf8_tail(ffmpeg_error, FFMPEG_ERROR_TAIL);
  return std::runtime_error(message);
}

double get_duration(const std::string& fp) {
  return duration_of(fp, checked_probe(fp, probe_format(fp)));
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
  const std::string json = checked_probe(fp, probe_format(fp, STREAM_FACTS));
  return {duration_from_probe_json(json), picture_missing_in_probe_json(json),
          timecode_from_probe_json(json), picture_from_probe_json(json),
          sound_rates_in_probe_json(json)};
}

FileProbe probe_file(const std::string& fp, const std::string& stream_entries) {
  std::string json = checked_probe(fp, probe_format(fp, stream_entries));
  const double duration = duration_of(fp, json);
  return {duration, std::move(json)};
}
