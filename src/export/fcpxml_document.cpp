#include "export/fcpxml_document.h"

#include "settings/utf8.h"

namespace {

const char REPLACEMENT[] = "\xEF\xBF\xBD";

// A picture as a format declares it.
struct Format {
  FrameDuration frame;
  int width;
  int height;
  std::string colour_space;
};

bool same_format(const Format& a, const Format& b) {
  return a.frame.num == b.frame.num && a.frame.den == b.frame.den && a.width == b.width &&
         a.height == b.height && a.colour_space == b.colour_space;
}

std::string attribute(const std::string& name, const std::string& value) {
  return " " + name + "=\"" + value + "\"";
}

std::string attribute(const std::string& name, long long value) {
  return attribute(name, std::to_string(value));
}

std::string id_of(size_t number) {
  return "r" + std::to_string(number);
}

std::string format_element(const std::string& id, const Format& format) {
  return "<format" + attribute("id", id) +
         attribute("frameDuration", frame_duration_text(format.frame)) +
         attribute("width", format.width) + attribute("height", format.height) +
         attribute("colorSpace", format.colour_space) + "/>";
}

std::string asset_element(const std::string& id, const std::string& format_id,
                          const FcpxmlAsset& asset) {
  std::string element = "<asset" + attribute("id", id) +
                        attribute("name", xml_attribute_text(asset.name)) +
                        attribute("start", time_text(asset.start_frame, asset.frame)) +
                        attribute("duration", time_text(asset.frames, asset.frame)) +
                        attribute("hasVideo", "1") + attribute("format", format_id);
  if (asset.sound_channels != 0) {
    element += attribute("hasAudio", "1") + attribute("videoSources", "1") +
               attribute("audioSources", "1");
    if (asset.sound_channels)
      element += attribute("audioChannels", *asset.sound_channels);
    if (asset.sample_rate > 0)
      element += attribute("audioRate", asset.sample_rate);
  } else {
    element += attribute("videoSources", "1");
  }
  element += ">\n" + std::string(12, ' ') + "<media-rep" + attribute("kind", "original-media") +
             attribute("src", xml_attribute_text(asset.src)) + "/>\n" + std::string(8, ' ') +
             "</asset>";
  return element;
}

std::string asset_clip_element(const std::string& ref, long long offset, const FcpxmlAsset& asset,
                               const ClipPiece& piece) {
  std::string element =
      "<asset-clip" + attribute("ref", ref) +
      attribute("offset", time_text(offset, TIMELINE_FRAME)) +
      attribute("name", xml_attribute_text(asset.name)) +
      attribute("start", time_text(asset.start_frame + piece.in_frame, asset.frame)) +
      attribute("duration", time_text(piece.timeline_frames, TIMELINE_FRAME));
  if (asset.drop_frame)
    element += attribute("tcFormat", *asset.drop_frame ? "DF" : "NDF");
  if (asset.sound_channels != 0)
    element += attribute("audioRole", "dialogue");
  return element + "/>";
}

}  // namespace

std::string fcpxml_colour_space(const ColourCoding& coding) {
  if (coding.transfer == Transfer::hlg)
    return "9-18-9 (Rec. 2020 HLG)";
  if (coding.transfer == Transfer::pq)
    return "9-16-9 (Rec. 2020 PQ)";
  if (coding.primaries == "bt2020")
    return "9-1-9 (Rec. 2020)";
  return REC_709_COLOUR_SPACE;
}

std::string xml_attribute_text(const std::string& text) {
  const std::string valid = sanitize_utf8(text);
  std::string escaped;
  for (size_t i = 0; i < valid.size(); ++i) {
    const char c = valid[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else if (c == '"') {
      escaped += "&quot;";
    } else if (c == '\t' || c == '\n' || c == '\r') {
      escaped += "&#" + std::to_string(byte) + ";";
    } else if (byte < 0x20) {
      escaped += REPLACEMENT;
    } else if (valid.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < valid.size() &&
               (valid[i + 2] == '\xBE' || valid[i + 2] == '\xBF')) {
      escaped += REPLACEMENT;  // U+FFFE and U+FFFF, which no XML document may hold
      i += 2;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string fcpxml_document(const std::string& project_name, FrameSize frame,
                            const std::vector<FcpxmlAsset>& assets,
                            const std::vector<FcpxmlClip>& clips) {
  std::vector<Format> formats = {
      {TIMELINE_FRAME, frame.width, frame.height, fcpxml_colour_space(ColourCoding{})}};
  std::vector<size_t> format_of_asset;
  for (const FcpxmlAsset& asset : assets) {
    const Format format{asset.frame, asset.width, asset.height, asset.colour_space};
    size_t index = 0;
    while (index < formats.size() && !same_format(formats[index], format))
      ++index;
    if (index == formats.size())
      formats.push_back(format);
    format_of_asset.push_back(index);
  }
  // Formats take the ids r1, r2, ..., the assets the ids after them.
  const auto asset_id = [&](size_t index) { return id_of(formats.size() + index + 1); };

  const std::string indent(4, ' ');
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n\n";
  doc += "<fcpxml version=\"1.10\">\n";
  doc += indent + "<resources>\n";
  for (size_t i = 0; i < formats.size(); ++i)
    doc += indent + indent + format_element(id_of(i + 1), formats[i]) + "\n";
  for (size_t i = 0; i < assets.size(); ++i)
    doc += indent + indent + asset_element(asset_id(i), id_of(format_of_asset[i] + 1), assets[i]) +
           "\n";
  doc += indent + "</resources>\n";

  long long sequence_frames = 0;
  std::string spine;
  for (const FcpxmlClip& clip : clips) {
    spine +=
        std::string(24, ' ') +
        asset_clip_element(asset_id(clip.asset), sequence_frames, assets[clip.asset], clip.piece) +
        "\n";
    sequence_frames += clip.piece.timeline_frames;
  }
  doc += indent + "<library>\n";
  doc += std::string(8, ' ') + "<event" + attribute("name", "Tavelmor Studio") + ">\n";
  doc += std::string(12, ' ') + "<project" + attribute("name", xml_attribute_text(project_name)) +
         ">\n";
  doc += std::string(16, ' ') + "<sequence" + attribute("format", id_of(1)) +
         attribute("duration", time_text(sequence_frames, TIMELINE_FRAME)) +
         attribute("tcStart", "0s") + attribute("tcFormat", "NDF") +
         attribute("audioLayout", "stereo") + attribute("audioRate", "48k") + ">\n";
  doc += std::string(20, ' ') + "<spine>\n" + spine + std::string(20, ' ') + "</spine>\n";
  doc += std::string(16, ' ') + "</sequence>\n";
  doc += std::string(12, ' ') + "</project>\n";
  doc += std::string(8, ' ') + "</event>\n";
  doc += indent + "</library>\n";
  doc += "</fcpxml>\n";
  return doc;
}
