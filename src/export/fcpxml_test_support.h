#pragma once

// Checks of FCPXML documents against the rules Final Cut Pro holds them to: the grammar (a DTD of
// exactly the elements and attributes the export writes, validated by xmllint), the time forms,
// the frame grids, the references between resources and clips, the clips within their assets and
// back to back on the timeline. Shared by the document's and the exporter's tests.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <numeric>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "export/export_test_support.h"

// The part of FCPXML 1.10 the export writes: which element holds which, in which order, and which
// attributes each takes (with the values an enumeration allows). An attribute or element outside
// it fails, so does a tcFormat on an asset; ID and IDREF make xmllint check that every ref and
// format names something.
inline constexpr char FCPXML_SUBSET_DTD[] = R"(
<!ELEMENT fcpxml (resources, library)>
<!ATTLIST fcpxml version (1.10) #REQUIRED>
<!ELEMENT resources (format | asset)*>
<!ELEMENT format EMPTY>
<!ATTLIST format id ID #REQUIRED
                 frameDuration CDATA #IMPLIED
                 width CDATA #IMPLIED
                 height CDATA #IMPLIED
                 colorSpace CDATA #IMPLIED>
<!ELEMENT asset (media-rep+)>
<!ATTLIST asset id ID #REQUIRED
                name CDATA #IMPLIED
                start CDATA #IMPLIED
                duration CDATA #IMPLIED
                hasVideo (0 | 1) "0"
                format IDREF #IMPLIED
                hasAudio (0 | 1) "0"
                videoSources CDATA #IMPLIED
                audioSources CDATA #IMPLIED
                audioChannels CDATA #IMPLIED
                audioRate CDATA #IMPLIED>
<!ELEMENT media-rep EMPTY>
<!ATTLIST media-rep kind (original-media | proxy-media) "original-media"
                    src CDATA #REQUIRED>
<!ELEMENT library (event)>
<!ELEMENT event (project)>
<!ATTLIST event name CDATA #IMPLIED>
<!ELEMENT project (sequence)>
<!ATTLIST project name CDATA #IMPLIED>
<!ELEMENT sequence (spine)>
<!ATTLIST sequence format IDREF #REQUIRED
                   duration CDATA #IMPLIED
                   tcStart CDATA #IMPLIED
                   tcFormat (DF | NDF) #IMPLIED
                   audioLayout (mono | stereo | surround) #IMPLIED
                   audioRate (32k | 44.1k | 48k | 88.2k | 96k | 176.4k | 192k) #IMPLIED>
<!ELEMENT spine (asset-clip)*>
<!ELEMENT asset-clip EMPTY>
<!ATTLIST asset-clip ref IDREF #REQUIRED
                     offset CDATA #IMPLIED
                     name CDATA #IMPLIED
                     start CDATA #IMPLIED
                     duration CDATA #REQUIRED
                     tcFormat (DF | NDF) #IMPLIED
                     audioRole CDATA #IMPLIED>
)";

// A start tag of a document and its attributes, entity and character references resolved.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string at(const std::string& attribute) const {
    const auto found = attributes.find(attribute);
    return found == attributes.end() ? "" : found->second;
  }
};

inline std::string xml_unescaped(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      plain += text[i];
      continue;
    }
    const size_t end = text.find(';', i);
    const std::string entity = text.substr(i + 1, end - i - 1);
    static const std::map<std::string, char> NAMED = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    if (entity[0] == '#')
      plain += static_cast<char>(std::stoi(entity.substr(1)));  // the export writes only C0 ones
    else
      plain += NAMED.at(entity);
    i = end;
  }
  return plain;
}

// The start tags of a well-formed document in order (xmllint checks the form itself).
inline std::vector<XmlElement> xml_elements(const std::string& doc) {
  static const std::regex TAG(R"(<([A-Za-z][A-Za-z-]*)((?:\s+[A-Za-z]+="[^"]*")*)\s*/?>)");
  static const std::regex ATTRIBUTE(R"(([A-Za-z]+)="([^"]*)\")");
  std::vector<XmlElement> elements;
  for (auto tag = std::sregex_iterator(doc.begin(), doc.end(), TAG); tag != std::sregex_iterator();
       ++tag) {
    XmlElement element{(*tag)[1].str(), {}};
    const std::string attributes = (*tag)[2].str();
    for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), ATTRIBUTE);
         a != std::sregex_iterator(); ++a) {
      element.attributes[(*a)[1].str()] = xml_unescaped((*a)[2].str());
    }
    elements.push_back(element);
  }
  return elements;
}

inline std::vector<XmlElement> elements_named(const std::vector<XmlElement>& elements,
                                              const std::string& name) {
  std::vector<XmlElement> named;
  for (const XmlElement& element : elements) {
    if (element.name == name)
      named.push_back(element);
  }
  return named;
}

// A time of the document in lowest terms.
struct Ratio {
  long long num = 0;
  long long den = 1;
};

inline Ratio ratio(long long num, long long den) {
  const long long common = std::gcd(num, den);
  return {num / common, den / common};
}
inline Ratio operator+(Ratio a, Ratio b) {
  return ratio(a.num * b.den + b.num * a.den, a.den * b.den);
}
inline bool operator==(Ratio a, Ratio b) {
  return a.num == b.num && a.den == b.den;
}
inline bool operator<=(Ratio a, Ratio b) {
  return a.num * b.den <= b.num * a.den;
}
inline std::ostream& operator<<(std::ostream& out, Ratio r) {
  return out << r.num << "/" << r.den;
}

// "N/Ds" or "Ns" with whole numbers and no leading zeros; nothing for any other form (decimals,
// signs, a missing "s").
inline std::optional<Ratio> fcpxml_time(const std::string& text) {
  static const std::regex TIME(R"((0|[1-9][0-9]*)(?:/([1-9][0-9]*))?s)");
  std::smatch match;
  if (!std::regex_match(text, match, TIME))
    return std::nullopt;
  return ratio(std::stoll(match[1].str()), match[2].matched ? std::stoll(match[2].str()) : 1);
}

// True when `time` is a whole number of frames of `frame`.
inline bool on_grid(Ratio time, Ratio frame) {
  return (time.num * frame.den) % (time.den * frame.num) == 0;
}

// The bytes a percent-encoded URL path stands for; "?" for a broken escape.
inline std::string percent_decoded(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      plain += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      plain += text[i] == '%' ? '?' : text[i];
    }
  }
  return plain;
}

// Validates `doc` against the DTD above with xmllint (Linux suite only: the Windows test run has
// no xmllint) and checks what a DTD cannot: every time in its form, every ref naming an asset and
// every format a format, offsets, durations and the sequence on the timeline's frames, starts and
// asset lengths on their asset's frames, every clip within its asset, the clips back to back from
// 0 and the sequence as long as they are, every URL a file URL of characters RFC 3986 allows.
inline void expect_valid_fcpxml(const std::string& doc) {
#ifndef _WIN32
  ScopedTempDir dir("tavelmor_fcpxml_");
  write_text_file(dir / "subset.dtd", FCPXML_SUBSET_DTD);
  write_text_file(dir / "doc.fcpxml", doc);
  const ProcessResult checked =
      run_process({"xmllint", "--noout", "--dtdvalid", path_to_utf8(dir / "subset.dtd"),
                   path_to_utf8(dir / "doc.fcpxml")},
                  30, OutputDecoding::replace_invalid);
  EXPECT_EQ(checked.exit_code, 0) << checked.err << doc;
#endif
  EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n", 0), 0u);

  const std::vector<XmlElement> elements = xml_elements(doc);
  std::map<std::string, Ratio> frame_of_format;
  for (const XmlElement& format : elements_named(elements, "format")) {
    const auto frame = fcpxml_time(format.at("frameDuration"));
    ASSERT_TRUE(frame && frame->num > 0) << format.at("frameDuration");
    frame_of_format[format.at("id")] = *frame;
  }
  std::map<std::string, XmlElement> assets;
  for (const XmlElement& asset : elements_named(elements, "asset")) {
    ASSERT_EQ(frame_of_format.count(asset.at("format")), 1u) << asset.at("format");
    const Ratio frame = frame_of_format[asset.at("format")];
    for (const char* time : {"start", "duration"}) {
      const auto value = fcpxml_time(asset.at(time));
      ASSERT_TRUE(value) << time << "=" << asset.at(time);
      EXPECT_TRUE(on_grid(*value, frame)) << time << "=" << asset.at(time) << " frame " << frame;
    }
    assets[asset.at("id")] = asset;
  }
  for (const XmlElement& rep : elements_named(elements, "media-rep")) {
    static const std::regex URL(R"(file://(/[A-Za-z]:)?(/([A-Za-z0-9._~-]|%[0-9A-F]{2})*)+)");
    EXPECT_TRUE(std::regex_match(rep.at("src"), URL)) << rep.at("src");
  }

  const std::vector<XmlElement> sequences = elements_named(elements, "sequence");
  ASSERT_EQ(sequences.size(), 1u);
  ASSERT_EQ(frame_of_format.count(sequences[0].at("format")), 1u);
  const Ratio timeline_frame = frame_of_format[sequences[0].at("format")];
  Ratio offset{0, 1};
  for (const XmlElement& clip : elements_named(elements, "asset-clip")) {
    ASSERT_EQ(assets.count(clip.at("ref")), 1u) << clip.at("ref");
    const XmlElement& asset = assets[clip.at("ref")];
    const auto start = fcpxml_time(clip.at("start"));
    const auto duration = fcpxml_time(clip.at("duration"));
    const auto clip_offset = fcpxml_time(clip.at("offset"));
    ASSERT_TRUE(start && duration && clip_offset) << clip.at("name");
    EXPECT_EQ(*clip_offset, offset) << clip.at("name");
    EXPECT_TRUE(on_grid(*duration, timeline_frame) && on_grid(*clip_offset, timeline_frame))
        << clip.at("offset") << " " << clip.at("duration");
    EXPECT_TRUE(duration->num > 0) << clip.at("name");
    EXPECT_TRUE(on_grid(*start, frame_of_format[asset.at("format")])) << clip.at("start");
    const Ratio asset_start = *fcpxml_time(asset.at("start"));
    EXPECT_TRUE(asset_start <= *start) << clip.at("start") << " before " << asset.at("start");
    EXPECT_TRUE(*start + *duration <= asset_start + *fcpxml_time(asset.at("duration")))
        << clip.at("start") << " + " << clip.at("duration") << " past the asset";
    offset = offset + *duration;
  }
  const auto sequence_duration = fcpxml_time(sequences[0].at("duration"));
  ASSERT_TRUE(sequence_duration);
  EXPECT_EQ(*sequence_duration, offset);
  EXPECT_EQ(fcpxml_time(sequences[0].at("tcStart")).value_or(Ratio{-1, 1}), (Ratio{0, 1}));
}
