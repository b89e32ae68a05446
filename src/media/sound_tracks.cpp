#include "media/sound_tracks.h"

#include <algorithm>
#include <stdexcept>

#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "settings/constants.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr size_t ERROR_TAIL = 800;

const std::string_view LEVEL_MARK = "mean_volume:";

}  // namespace

std::string track_level_filter(size_t track) {
  return "volumedetect@level_" + std::to_string(track);
}

std::vector<std::optional<double>> track_levels_from_report(std::string_view report, size_t count) {
  std::vector<std::optional<double>> levels(count);
  for (size_t track = 0; track < count; ++track) {
    const std::string prefix = "[" + track_level_filter(track) + " @ ";
    for (size_t at = report.find(prefix); at != std::string_view::npos;
         at = report.find(prefix, at + 1)) {
      const size_t line_end = report.find_first_of("\r\n", at);
      const std::string_view line = report.substr(at, line_end - at);
      const size_t mark = line.find(LEVEL_MARK);
      if (mark == std::string_view::npos)
        continue;
      std::string_view value = line.substr(mark + LEVEL_MARK.size());
      value = value.substr(0, value.find(" dB"));
      levels[track] = number_from_text(value);
    }
  }
  return levels;
}

size_t loudest_track(const std::vector<std::optional<double>>& levels) {
  size_t loudest = 0;
  for (size_t i = 0; i < levels.size(); ++i) {
    if (levels[i] && (!levels[loudest] || *levels[i] > *levels[loudest]))
      loudest = i;
  }
  return loudest;
}

size_t speech_track(const std::string& fp, size_t count) {
  if (count < 2)
    return 0;
  count = std::min(count, MEASURED_TRACKS);
  std::string graph;
  std::vector<std::string> maps;
  for (size_t track = 0; track < count; ++track) {
    const std::string n = std::to_string(track);
    graph +=
        (track > 0 ? ";[0:a:" : "[0:a:") + n + "]" + track_level_filter(track) + "[l" + n + "]";
    maps.insert(maps.end(), {"-map", "[l" + n + "]"});
  }
  std::vector<std::string> args = {"ffmpeg",          "-hide_banner",    "-nostdin", "-i",
                                   path_argument(fp), "-filter_complex", graph};
  args.insert(args.end(), maps.begin(), maps.end());
  args.insert(args.end(), {"-f", "null", "-"});
  const ProcessResult run = run_process(args, FFMPEG_TIMEOUT, OutputDecoding::replace_invalid);
  if (run.exit_code != 0) {
    throw std::runtime_error("Tonspuren von " + file_name_of(fp) +
                             " konnten nicht gemessen werden:\n" + utf8_tail(run.err, ERROR_TAIL));
  }
  return loudest_track(track_levels_from_report(run.err, count));
}

std::vector<std::string> sound_track_dispositions(size_t count) {
  if (count < 2)
    return {};
  // A recorder marks its first track as the default one; the speech takes that place.
  std::vector<std::string> args;
  for (size_t out = 0; out < count; ++out)
    args.insert(args.end(), {"-disposition:a:" + std::to_string(out), out == 0 ? "default" : "0"});
  return args;
}

std::vector<std::string> sound_track_maps(size_t speech, size_t count) {
  if (count < 2)
    return {"-map", "0:a?"};
  std::vector<std::string> args = {"-map", "0:a:" + std::to_string(speech)};
  for (size_t track = 0; track < count; ++track) {
    if (track != speech)
      args.insert(args.end(), {"-map", "0:a:" + std::to_string(track)});
  }
  const std::vector<std::string> dispositions = sound_track_dispositions(count);
  args.insert(args.end(), dispositions.begin(), dispositions.end());
  return args;
}
