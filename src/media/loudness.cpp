#include "media/loudness.h"

#include <stdexcept>

#include "media/probe_json.h"
#include "media/process.h"
#include "settings/constants.h"
#include "settings/number_text.h"
#include "settings/utf8.h"

namespace {

constexpr double METER_FLOOR = -70.0;  // LUFS the meter reports when nothing passed its gate
constexpr size_t ERROR_TAIL = 800;
constexpr int MAX_SAMPLE_RATE = 768000;  // beyond any sound a recorder writes

}  // namespace

std::optional<double> integrated_loudness_in_report(std::string_view report) {
  // "Integrated loudness:\n    I:         -23.0 LUFS" in the summary at the end.
  const size_t section = report.rfind("Integrated loudness:");
  if (section == std::string_view::npos)
    return std::nullopt;
  const size_t label = report.find("I:", section);
  const size_t unit = report.find("LUFS", label);
  if (label == std::string_view::npos || unit == std::string_view::npos)
    return std::nullopt;
  const std::optional<double> value = number_from_text(report.substr(label + 2, unit - label - 2));
  if (!value || *value <= METER_FLOOR)
    return std::nullopt;
  return value;
}

std::optional<double> loudness_gain(std::optional<double> measured, double target) {
  if (!measured)
    return std::nullopt;
  return target - *measured;
}

std::string loudness_filter(double gain, int sample_rate) {
  const int rate = sample_rate > 0 && sample_rate <= MAX_SAMPLE_RATE ? sample_rate : 48000;
  return "volume=" + fixed_text(gain, 2) + "dB,aresample=" + std::to_string(4 * rate) +
         ",alimiter=limit=0.841395:level=0:latency=1,aresample=" + std::to_string(rate);
}

std::string loudness_message(std::optional<double> measured, double target) {
  if (!measured)
    return "Lautheit nicht messbar – der Ton bleibt, wie er ist";
  const double gain = *loudness_gain(measured, target);
  return "Lautheit: " + fixed_text(*measured, 1) + " LUFS, Ziel " + fixed_text(target, 1) +
         " LUFS (" + (gain >= 0.0 ? "+" : "") + fixed_text(gain, 1) + " dB)";
}

std::optional<double> measure_loudness(const std::vector<std::string>& input) {
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin"};
  args.insert(args.end(), input.begin(), input.end());
  args.insert(args.end(), {"-vn", "-af", LOUDNESS_METER, "-f", "null", "-"});
  const ProcessResult run = run_process(args, FFMPEG_TIMEOUT, OutputDecoding::replace_invalid);
  if (run.exit_code != 0)
    throw std::runtime_error("Lautheit konnte nicht gemessen werden:\n" +
                             utf8_tail(run.err, ERROR_TAIL));
  return integrated_loudness_in_report(run.err);
}
