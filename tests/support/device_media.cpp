#include "support/device_media.h"

#include <cstdio>
#include <stdexcept>

#include "media/process.h"
#include "settings/constants.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

// A tone that speaks during the first, third, ... of `segments` and is silent between.
std::string speech_tone(const std::vector<double>& segments, double& total) {
  std::string sum;
  double at = 0.0;
  bool speech = true;
  for (const double length : segments) {
    if (speech)
      sum += (sum.empty() ? "" : "+") + std::string("between(t,") + double_text(at) + "," +
             double_text(at + length) + ")";
    at += length;
    speech = !speech;
  }
  total = at;
  return "sine=frequency=440:sample_rate=48000:duration=" + double_text(total) + ",volume='" +
         (sum.empty() ? "0" : sum) + "':eval=frame";
}

// FFmpeg's report on standard error of a run that writes nothing.
std::string report_of(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"ffmpeg", "-nostdin", "-hide_banner"};
  command.insert(command.end(), args.begin(), args.end());
  command.insert(command.end(), {"-f", "null", "-"});
  const ProcessResult run = run_process(command, 120, OutputDecoding::replace_invalid);
  if (run.exit_code != 0)
    throw std::runtime_error("ffmpeg failed: " + run.err);
  return run.err;
}

// The number after the last `key` in `text`.
double last_number_after(const std::string& text, const std::string& key) {
  const size_t at = text.rfind(key);
  if (at == std::string::npos)
    throw std::runtime_error("no " + key + " in: " + text);
  return std::stod(text.substr(at + key.size()));
}

}  // namespace

void make_hdr_recording(const fs::path& path, const std::string& transfer, double seconds,
                        int rotation) {
  char grey[16];
  std::snprintf(grey, sizeof grey, "0x%02x%02x%02x", TEST_GREY, TEST_GREY, TEST_GREY);
  const fs::path plain =
      rotation == 0 ? path : path.parent_path() / ("plain_" + path.filename().string());
  run_ffmpeg({"-f",
              "lavfi",
              "-i",
              std::string("color=c=") + grey + ":s=160x90:r=30:d=" + double_text(seconds),
              "-f",
              "lavfi",
              "-i",
              "sine=frequency=440:duration=" + double_text(seconds),
              "-vf",
              "zscale=rin=full:min=bt709:tin=bt709:pin=bt709:t=" + transfer +
                  ":p=bt2020:m=bt2020nc:r=limited:npl=203,format=yuv420p10le",
              "-c:v",
              "libx265",
              "-x265-params",
              "log-level=error",
              "-preset",
              "ultrafast",
              "-color_primaries",
              "bt2020",
              "-color_trc",
              transfer,
              "-colorspace",
              "bt2020nc",
              "-c:a",
              "aac",
              path_to_utf8(plain)});
  if (rotation != 0) {
    // FFmpeg sets a rotation matrix only on a stream copy.
    run_ffmpeg({"-i", path_to_utf8(plain), "-c", "copy", "-metadata:s:v:0",
                "rotate=" + std::to_string(rotation), path_to_utf8(path)});
    fs::remove(plain);
  }
}

void make_two_track_recording(const fs::path& path, const std::vector<double>& segments) {
  double total = 0.0;
  const std::string voice = speech_tone(segments, total);
  run_ffmpeg(
      {"-f",
       "lavfi",
       "-i",
       "testsrc2=size=160x120:rate=10:duration=" + double_text(total),
       "-f",
       "lavfi",
       "-i",
       "sine=frequency=300:sample_rate=48000:duration=" + double_text(total) + ",volume=0.005",
       "-f",
       "lavfi",
       "-i",
       voice,
       "-map",
       "0:v",
       "-map",
       "1:a",
       "-map",
       "2:a",
       "-c:v",
       "libx264",
       "-preset",
       "ultrafast",
       "-c:a",
       "aac",
       "-ac:a:0",
       "2",
       "-ac:a:1",
       "1",
       "-disposition:a:0",
       "default",
       "-disposition:a:1",
       "0",
       path_to_utf8(path)});
}

void make_anamorphic_recording(const fs::path& path, double seconds) {
  run_ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=144x108:r=25:d=" + double_text(seconds), "-f",
              "lavfi", "-i", "sine=frequency=440:duration=" + double_text(seconds), "-vf",
              "setsar=4/3", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
              path_to_utf8(path)});
}

void make_browser_webm(const fs::path& path, const std::vector<double>& segments) {
  double total = 0.0;
  const std::string voice = speech_tone(segments, total);
  run_ffmpeg({"-f",
              "lavfi",
              "-i",
              "testsrc2=size=160x120:rate=10:duration=" + double_text(total),
              "-f",
              "lavfi",
              "-i",
              voice,
              "-c:v",
              "libvpx-vp9",
              "-deadline",
              "realtime",
              "-cpu-used",
              "8",
              "-b:v",
              "200k",
              "-c:a",
              "libopus",
              "-live",
              "1",
              "-f",
              "webm",
              path_to_utf8(path)});
}

double centre_luma(const fs::path& path, double at) {
  return last_number_after(
      report_of(
          {"-ss", double_text(at), "-i", path_to_utf8(path), "-frames:v", "1", "-vf",
           "crop=iw/4:ih/4,format=gray,signalstats,metadata=print:key=lavfi.signalstats.YAVG"}),
      "lavfi.signalstats.YAVG=");
}

std::string content_box(const fs::path& path, double at) {
  const std::string report = report_of({"-ss", double_text(at), "-i", path_to_utf8(path),
                                        "-frames:v", "3", "-vf", "cropdetect=round=2:reset=0"});
  const size_t crop = report.rfind("crop=");
  if (crop == std::string::npos)
    throw std::runtime_error("no crop in: " + report);
  const size_t second_colon = report.find(':', report.find(':', crop) + 1);
  std::string box = report.substr(crop + 5, second_colon - crop - 5);
  box[box.find(':')] = 'x';
  return box;
}

double sound_level(const fs::path& path, int track, double from, double length) {
  return last_number_after(
      report_of({"-ss", double_text(from), "-t", double_text(length), "-i", path_to_utf8(path),
                 "-map", "0:a:" + std::to_string(track), "-af", "volumedetect"}),
      "mean_volume:");
}

void make_marked_talk(const fs::path& path, const Talk& talk, double level, double click_every) {
  // A microsecond early at both ends: a frame's or a sample's time, the product of its number and
  // a rounded time base, may fall a hair short of the boundary it lies on.
  const double period = talk.word + talk.pause;
  const double end = talk.lead + talk.words * period - talk.pause;
  const std::string speaking = "between(t," + double_text(talk.lead) + "-1e-6," + double_text(end) +
                               "-1e-6)*lt(mod(t-" + double_text(talk.lead) + "+1e-6," +
                               double_text(period) + ")," + double_text(talk.word) + ")";
  const double at = end + talk.tail;
  std::string tone = double_text(level) + "*sin(2*PI*440*t)";
  if (click_every > 0.0)
    tone += "+(0.9-" + double_text(level) + ")*lt(mod(n," +
            std::to_string(static_cast<long>(click_every * 48000)) + "),3)";
  const std::string sound =
      "aevalsrc='(" + tone + ")*(" + speaking + ")':s=48000:d=" + double_text(at);
  std::vector<std::string> args;
  if (is_audio_file(path_to_utf8(path))) {
    args = {"-f", "lavfi", "-i", sound};
  } else {
    args = {"-f",       "lavfi",
            "-i",       "color=c=black:s=64x48:r=30:d=" + double_text(at),
            "-f",       "lavfi",
            "-i",       sound,
            "-vf",      "drawbox=w=iw:h=ih:color=white:t=fill:enable='" + speaking + "'",
            "-c:v",     "libx264",
            "-preset",  "ultrafast",
            "-g",       "30",
            "-pix_fmt", "yuv420p"};
  }
  args.push_back(path_to_utf8(path));
  run_ffmpeg(args);
}

std::vector<double> bright_onsets(const fs::path& path) {
  const std::string report = report_of(
      {"-i", path_to_utf8(path), "-an", "-vf",
       "crop=iw/4:ih/4,format=gray,signalstats,metadata=print:key=lavfi.signalstats.YAVG"});
  std::vector<double> onsets;
  bool bright = false;
  double time = 0.0;
  for (size_t at = 0; (at = report.find("pts_time:", at)) != std::string::npos;) {
    time = std::stod(report.substr(at + 9));
    at = report.find("lavfi.signalstats.YAVG=", at);
    if (at == std::string::npos)
      break;
    const bool now = std::stod(report.substr(at + 23)) > 100.0;
    if (now && !bright)
      onsets.push_back(time);
    bright = now;
  }
  return onsets;
}

MeasuredLoudness measured_loudness(const fs::path& path) {
  const std::string report =
      report_of({"-i", path_to_utf8(path), "-map", "0:a:0", "-af", "ebur128=peak=true"});
  const size_t summary = report.rfind("Summary:");
  if (summary == std::string::npos)
    throw std::runtime_error("no loudness summary in: " + report);
  const std::string tail = report.substr(summary);
  return {last_number_after(tail.substr(0, tail.find("Threshold")), "I:"),
          last_number_after(tail, "Peak:")};
}
