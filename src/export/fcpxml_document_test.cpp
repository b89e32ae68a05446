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

// Formats shared where pictures match, the project's own included; the timecode's kind on the
// clips, never on the asset; sound declared only where there is some.
TEST(FcpxmlDocument, ResourcesDeclareEachPictureOnceAndClipsFollowBackToBack) {
  std::vector<FcpxmlAsset> assets = {
      asset("a & <b>", {100, 6000}, 1080, 1920), asset("ntsc", {1001, 30000}, 1920, 1080),
      asset("ntsc too", {1001, 30000}, 1920, 1080), asset("silent", {100, 2500}, 640, 480)};
  assets[1].start_frame = 107892;
  assets[1].drop_frame = true;
  assets[2].sound_channels = std::nullopt;
  assets[2].sample_rate = 0;
  assets[3].drop_frame = false;
  assets[3].start_frame = 90250;
  assets[3].sound_channels = 0;
  const std::vector<FcpxmlClip> clips = {
      {0, {3, 50}}, {1, {0, 20}}, {1, {12, 7}}, {2, {89, 1}}, {3, {10, 120}}};
  const std::string doc =
      fcpxml_document("Tavelmor Studio – Master Timeline", FrameSize{1080, 1920}, assets, clips);
  expect_valid_fcpxml(doc);

  const std::vector<XmlElement> elements = xml_elements(doc);
  const auto formats = elements_named(elements, "format");
  ASSERT_EQ(formats.size(), 3u);
  EXPECT_EQ(formats[0].at("frameDuration"), "100/6000s");
  EXPECT_EQ(formats[0].at("width") + "x" + formats[0].at("height"), "1080x1920");
  const auto declared = elements_named(elements, "asset");
  ASSERT_EQ(declared.size(), 4u);
  EXPECT_EQ(declared[0].at("format"), formats[0].at("id"));
  EXPECT_EQ(declared[0].at("name"), "a & <b>");
  EXPECT_EQ(declared[1].at("format"), declared[2].at("format"));
  EXPECT_EQ(declared[1].at("start"), time_text(107892, {1001, 30000}));
  EXPECT_EQ(declared[3].at("start"), "3610s");
  EXPECT_EQ(declared[0].at("audioChannels") + " " + declared[0].at("audioRate"), "2 48000");
  EXPECT_EQ(declared[2].at("hasAudio") + " " + declared[2].at("audioChannels"), "1 ");
  EXPECT_EQ(declared[3].attributes.count("hasAudio"), 0u);

  const auto placed = elements_named(elements, "asset-clip");
  ASSERT_EQ(placed.size(), clips.size());
  const std::string expected[][4] = {
      // ref, start, tcFormat, audioRole
      {declared[0].at("id"), time_text(3, {100, 6000}), "", "dialogue"},
      {declared[1].at("id"), time_text(107892, {1001, 30000}), "DF", "dialogue"},
      {declared[1].at("id"), time_text(107904, {1001, 30000}), "DF", "dialogue"},
      {declared[2].at("id"), time_text(89, {1001, 30000}), "", "dialogue"},
      {declared[3].at("id"), time_text(90260, {100, 2500}), "NDF", ""},
  };
  for (size_t i = 0; i < placed.size(); ++i) {
    EXPECT_EQ(placed[i].at("ref"), expected[i][0]) << i;
    EXPECT_EQ(placed[i].at("start"), expected[i][1]) << i;
    EXPECT_EQ(placed[i].at("tcFormat"), expected[i][2]) << i;
    EXPECT_EQ(placed[i].at("audioRole"), expected[i][3]) << i;
  }
  EXPECT_EQ(elements_named(elements, "sequence").at(0).at("duration"),
            time_text(198, TIMELINE_FRAME));
}
