#pragma once

#include <optional>
#include <string>
#include <vector>

#include "export/fcpxml_time.h"
#include "media/sdr_conversion.h"
#include "settings/constants.h"

// The FCPXML (version 1.10) document of the Final Cut Pro export: the formats and one asset per
// clip file as resources, and one project whose sequence, at 60 fps in the frame of the
// `resolution` setting, holds the clips' pieces back to back from 0. A pure function over
// records; the exporter measures first.

// Rec. 709 in Final Cut's notation: the colour space of every picture not BT.2020 or HDR.
inline constexpr char REC_709_COLOUR_SPACE[] = "1-1-1 (Rec. 709)";

// A clip file as its asset declares it: what the file holds, from its probe.
struct FcpxmlAsset {
  std::string name;  // file name without its last extension, as plain text
  std::string src;   // the file URL, already percent-encoded
  FrameDuration frame;
  int width = 0;  // the picture as players show it
  int height = 0;
  std::string colour_space = REC_709_COLOUR_SPACE;  // as Final Cut names it (fcpxml_colour_space)
  long long start_frame = 0;          // the file's own timecode as frames of `frame`, else 0
  long long frames = 1;               // the file's length in frames of `frame`
  std::optional<bool> drop_frame;     // a timecode's kind, when the file carries one
  std::optional<int> sound_channels;  // 0: no sound; nothing: sound whose channels are unknown
  int sample_rate = 0;                // 0: not known
};

// One piece of a clip on the timeline, in timeline order.
struct FcpxmlClip {
  size_t asset = 0;  // index into the assets
  ClipPiece piece;
};

// The colour space of a picture in Final Cut's notation (primaries-transfer-matrix codes): the
// HDR curves of phone recordings as Rec. 2020 HLG or PQ, other BT.2020 pictures as Rec. 2020,
// everything else as Rec. 709.
std::string fcpxml_colour_space(const ColourCoding& coding);

// An attribute value as XML text: "&", "<", ">" and '"' as entity references, tab, line feed and
// carriage return as character references (a parser would turn them into spaces), invalid UTF-8
// and the characters XML 1.0 cannot hold at all as U+FFFD.
std::string xml_attribute_text(const std::string& text);

// The whole document, ending with a line feed. Each distinct picture (frame duration, size and
// colour space) gets one format, the project's own frame included; a drop-frame timecode marks
// each of its clip's pieces tcFormat="DF", another timecode "NDF"; a clip with sound has the
// dialogue role.
std::string fcpxml_document(const std::string& project_name, FrameSize frame,
                            const std::vector<FcpxmlAsset>& assets,
                            const std::vector<FcpxmlClip>& clips);
