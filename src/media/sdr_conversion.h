#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// HDR pictures (phones record HLG by default, some apps PQ) brought to BT.709 SDR for the 8-bit
// H.264 files the backend writes. Such a file must say BT.709 and be it: an 8-bit picture that
// still claims BT.2020 and an HDR transfer is shown with wrong colours and banding.

// How a picture's light is coded: the standard curve, or one of the two HDR curves.
enum class Transfer { sdr, hlg, pq };

// The colour coding of a picture as ffprobe names it.
struct ColourCoding {
  Transfer transfer = Transfer::sdr;
  std::string primaries;  // "bt2020", "bt709", ...; empty when unknown
  std::string matrix;     // "bt2020nc", "bt709", ...; empty when unknown
  bool full_range = false;
};

// The transfer for ffprobe's color_transfer name: "arib-std-b67" is HLG, "smpte2084" PQ,
// anything else SDR.
Transfer transfer_named(std::string_view name);

// What this FFmpeg offers for the conversion, best first: zscale to linear light with the tonemap
// filter, zscale alone (highlights above SDR white clipped), the colorspace filter (primaries and
// matrix converted, the HDR curve taken as the BT.2020 SDR curve), or only the matrix in scale.
enum class SdrConversion { tone_mapped, clipped, approximated, matrix_only };

// The best conversion the filter list of "ffmpeg -hide_banner -filters" allows.
SdrConversion sdr_conversion_in_filter_list(std::string_view filter_list);

// Asks FFmpeg for its filters (one short run); matrix_only when it cannot tell.
SdrConversion available_sdr_conversion();

// available_sdr_conversion asked once, when first needed, for a job that may meet several HDR
// pictures and none at all.
class SdrConversionQuery {
 public:
  SdrConversion operator()();

 private:
  std::optional<SdrConversion> found_;
};

// What the start-up check says when the conversion is not the tone-mapped one: which filters
// FFmpeg lacks and that HDR recordings are then converted only approximately.
std::optional<std::string> sdr_conversion_notice(SdrConversion conversion);

// The filters that turn a picture of `coding` into 8-bit BT.709 SDR (yuv420p, limited range) by
// `conversion`; empty for an SDR picture. Built only from fixed names, so nothing a file says can
// reach the filter text.
std::string sdr_filters(const ColourCoding& coding, SdrConversion conversion);

// The encoder's tags for a picture that was brought to SDR: BT.709 primaries, transfer and
// matrix, limited range.
std::vector<std::string> bt709_tag_args();
