#include "media/sdr_conversion.h"

#include <set>
#include <sstream>

#include "media/process.h"

namespace {

constexpr int FILTER_LIST_TIMEOUT = 5;  // seconds

// SDR white stands at the HDR reference white of 203 cd/m² (HLG's 75 % signal), so a grey keeps
// the level a BT.709 camera would have given it.
const char* const REFERENCE_WHITE = "203";
// HLG's nominal peak of 1000 cd/m² in units of that white: the brightest value the tone curve
// brings down to SDR white. PQ content is mastered mostly to the same peak.
const char* const PEAK = "4.926";

bool has_filter(const std::set<std::string>& filters, const char* name) {
  return filters.count(name) > 0;
}

// The names of the filters in FFmpeg's list: lines of flags, name and "V->V".
std::set<std::string> filter_names(std::string_view list) {
  std::set<std::string> names;
  std::istringstream lines{std::string(list)};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string flags, name, kinds;
    if (words >> flags >> name >> kinds && kinds.find("->") != std::string::npos)
      names.insert(name);
  }
  return names;
}

std::string zscale_transfer(Transfer transfer) {
  return transfer == Transfer::pq ? "smpte2084" : "arib-std-b67";
}

// The source's primaries and matrix under the names zscale and colorspace share; BT.2020, which
// HDR pictures use, where the file names none or another.
std::string known_primaries(const ColourCoding& coding) {
  return coding.primaries == "bt709" ? "bt709" : "bt2020";
}

std::string known_matrix(const ColourCoding& coding) {
  if (coding.matrix == "bt709" || coding.matrix == "bt2020c")
    return coding.matrix;
  return "bt2020nc";
}

}  // namespace

Transfer transfer_named(std::string_view name) {
  if (name == "arib-std-b67")
    return Transfer::hlg;
  if (name == "smpte2084")
    return Transfer::pq;
  return Transfer::sdr;
}

SdrConversion sdr_conversion_in_filter_list(std::string_view filter_list) {
  const std::set<std::string> filters = filter_names(filter_list);
  if (has_filter(filters, "zscale"))
    return has_filter(filters, "tonemap") ? SdrConversion::tone_mapped : SdrConversion::clipped;
  return has_filter(filters, "colorspace") ? SdrConversion::approximated
                                           : SdrConversion::matrix_only;
}

SdrConversion available_sdr_conversion() {
  try {
    const ProcessResult run = run_process({"ffmpeg", "-hide_banner", "-filters"},
                                          FILTER_LIST_TIMEOUT, OutputDecoding::replace_invalid);
    if (run.exit_code == 0)
      return sdr_conversion_in_filter_list(run.out);
  } catch (const std::exception&) {
    // FFmpeg that cannot list its filters can do no better than the plain scale.
  }
  return SdrConversion::matrix_only;
}

SdrConversion SdrConversionQuery::operator()() {
  if (!found_)
    found_ = available_sdr_conversion();
  return *found_;
}

std::optional<std::string> sdr_conversion_notice(SdrConversion conversion) {
  std::string missing;
  switch (conversion) {
    case SdrConversion::tone_mapped:
      return std::nullopt;
    case SdrConversion::clipped:
      missing = "der Filter tonemap";
      break;
    case SdrConversion::approximated:
    case SdrConversion::matrix_only:
      missing = "der Filter zscale (libzimg)";
      break;
  }
  return "HDR-Aufnahmen (HLG, PQ): FFmpeg fehlt " + missing +
         " – sie werden nur angenähert in SDR (BT.709) umgewandelt.";
}

std::string sdr_filters(const ColourCoding& coding, SdrConversion conversion) {
  if (coding.transfer == Transfer::sdr)
    return "";
  const std::string range = coding.full_range ? "full" : "limited";
  const std::string source = "tin=" + zscale_transfer(coding.transfer) +
                             ":pin=" + known_primaries(coding) + ":min=" + known_matrix(coding) +
                             ":rin=" + range;
  switch (conversion) {
    case SdrConversion::tone_mapped:
      // Linear light in BT.709 primaries, the highlights brought down by a curve that leaves
      // everything up to mid-grey as it is, then BT.709's curve and matrix.
      return "zscale=" + source + ":t=linear:p=bt709:npl=" + REFERENCE_WHITE +
             ",format=gbrpf32le,tonemap=tonemap=mobius:peak=" + PEAK +
             ",zscale=t=bt709:m=bt709:r=limited,format=yuv420p";
    case SdrConversion::clipped:
      return "zscale=" + source + ":t=bt709:p=bt709:m=bt709:r=limited:npl=" + REFERENCE_WHITE +
             ",format=yuv420p";
    case SdrConversion::approximated:
      // colorspace knows no constant-luminance matrix; the non-constant one is the closest.
      return "colorspace=all=bt709:iprimaries=" + known_primaries(coding) +
             ":itrc=bt2020-10:ispace=" +
             (known_matrix(coding) == "bt709" ? std::string("bt709") : std::string("bt2020ncl")) +
             ":irange=" + (coding.full_range ? "pc" : "tv") + ":range=tv:format=yuv420p";
    case SdrConversion::matrix_only:
      break;
  }
  return std::string("scale=in_color_matrix=") +
         (known_matrix(coding) == "bt709" ? "bt709" : "bt2020") +
         ":out_color_matrix=bt709:in_range=" + (coding.full_range ? "pc" : "tv") +
         ":out_range=tv,format=yuv420p";
}

std::vector<std::string> bt709_tag_args() {
  return {"-color_primaries", "bt709", "-color_trc",   "bt709",
          "-colorspace",      "bt709", "-color_range", "tv"};
}
