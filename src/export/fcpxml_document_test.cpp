#include "export/fcpxml_document.h"

#include <gtest/gtest.h>

#include "export/fcpxml_test_support.h"
#include "export/standard_file_url.h"

namespace {

FcpxmlAsset asset(const std::string& name, FrameDuration frame, int width, int height) {
  FcpxmlAsset made;
  made.name = name;
  made.src = standard_file_url_of("/x/" + name + ".mp4", PathStyle::posix);
  made.frame = frame;
  made.width = width;
  made.height = height;
  made.frames = 90;
  made.sound_channels = 2;
  made.sample_rate = 48000;
  return made;
}

}  // namespace

TEST(XmlAttributeText, EveryNameReadsBackAsItselfOrWithItsUnwritableCharactersReplaced) {
  const std::pair<std::string, std::string> cases[] = {
      {"Q&A <\"Grüße\"> #1 'x'", "Q&A <\"Grüße\"> #1 'x'"},
      {"tab\there\nline\rend", "tab\there\nline\rend"},
      {"bell\x07 \xFF end \xEF\xBF\xBF", "bell\xEF\xBF\xBD \xEF\xBF\xBD end \xEF\xBF\xBD"},
  };
  for (const auto& [name, read_back] : cases) {
    const std::string doc = "<a b=\"" + xml_attribute_text(name) + "\"/>";
    expect_well_formed_xml(doc);
    EXPECT_EQ(xml_elements(doc).at(0).at("b"), read_back) << name;
  }
}

// Formats shared where pictures match, the project's own included; sound whose channels the
// probe did not tell is declared without a count, no sound not at all.
TEST(FcpxmlDocument, EachPictureIsOneFormatAndSoundIsDeclaredAsFarAsItIsKnown) {
  std::vector<FcpxmlAsset> assets = {
      asset("a & <b>", {100, 6000}, 1080, 1920), asset("ntsc", {1001, 30000}, 1920, 1080),
      asset("ntsc too", {1001, 30000}, 1920, 1080), asset("pal", {100, 2500}, 1920, 1080)};
  assets[2].sound_channels = std::nullopt;
  assets[2].sample_rate = 0;
  assets[3].sound_channels = 0;
  const std::string doc =
      fcpxml_document("Tavelmor Studio – Master Timeline", FrameSize{1080, 1920}, assets,
                      {{0, {3, 50}}, {1, {0, 20}}, {2, {89, 1}}, {3, {10, 120}}});
  expect_valid_fcpxml(doc);

  const std::vector<XmlElement> elements = xml_elements(doc);
  const auto formats = elements_named(elements, "format");
  const auto declared = elements_named(elements, "asset");
  ASSERT_EQ(formats.size(), 3u);
  ASSERT_EQ(declared.size(), 4u);
  EXPECT_EQ(declared[0].at("format"), formats[0].at("id"));
  EXPECT_EQ(declared[1].at("format"), declared[2].at("format"));
  EXPECT_NE(declared[1].at("format"), declared[3].at("format"));
  EXPECT_EQ(declared[0].at("name"), "a & <b>");
  EXPECT_EQ(declared[2].at("hasAudio") + "," + declared[2].at("audioChannels"), "1,");
  EXPECT_EQ(declared[3].attributes.count("hasAudio"), 0u);
  EXPECT_EQ(elements_named(elements, "asset-clip").at(3).at("audioRole"), "");
}
