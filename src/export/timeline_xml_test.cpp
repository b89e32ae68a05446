#include "export/timeline_xml.h"

#include <gtest/gtest.h>

#include "export/export_test_support.h"

namespace {

TimelineClip clip(const std::string& name, const std::string& url, double t_start, double t_end,
                  double file_seconds) {
  TimelineClip c;
  c.name = name;
  c.pathurl = url;
  c.t_start = t_start;
  c.t_end = t_end;
  c.dur_f = clip_duration_frames(t_start, t_end);
  c.file_frames = seconds_to_frames(file_seconds);
  return c;
}

const char* const TWO_CLIP_DOCUMENT = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE xmeml>
<xmeml version="5">
    <sequence>
        <name>Tavelmor Studio – Master Timeline</name>
        <duration>705</duration>
        <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
        <media>
            <video>
                <format>
                    <samplecharacteristics>
                        <width>1080</width>
                        <height>1920</height>
                        <pixelaspectratio>square</pixelaspectratio>
                        <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    </samplecharacteristics>
                </format>
                <track>
                <clipitem id="clip1">
                    <name>Q&amp;A_cut &lt;1></name>
                    <duration>555</duration>
                    <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    <in>74</in>
                    <out>630</out>
                    <start>0</start>
                    <end>555</end>
                    <file id="file1">
                        <name>Q&amp;A_cut &lt;1></name>
                        <pathurl>file:////clips/Q%26A_cut%20%3C1%3E.mp4</pathurl>
                        <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                        <duration>720</duration>
                        <media>
                            <video>
                                <samplecharacteristics>
                                    <width>1080</width>
                                    <height>1920</height>
                                </samplecharacteristics>
                            </video>
                            <audio><channelcount>2</channelcount></audio>
                        </media>
                    </file>
                </clipitem>
                <clipitem id="clip2">
                    <name>b</name>
                    <duration>150</duration>
                    <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    <in>0</in>
                    <out>150</out>
                    <start>555</start>
                    <end>705</end>
                    <file id="file2">
                        <name>b</name>
                        <pathurl>file:////clips/b.mp4</pathurl>
                        <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                        <duration>150</duration>
                        <media>
                            <video>
                                <samplecharacteristics>
                                    <width>1080</width>
                                    <height>1920</height>
                                </samplecharacteristics>
                            </video>
                            <audio><channelcount>2</channelcount></audio>
                        </media>
                    </file>
                </clipitem></track>
            </video>
            <audio><track>
                <clipitem id="audioclip1">
                    <name>Q&amp;A_cut &lt;1></name>
                    <duration>555</duration>
                    <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    <in>74</in>
                    <out>630</out>
                    <start>0</start>
                    <end>555</end>
                    <file id="file1"/>
                    <sourcetrack><mediatype>audio</mediatype><trackindex>1</trackindex></sourcetrack>
                </clipitem>
                <clipitem id="audioclip2">
                    <name>b</name>
                    <duration>150</duration>
                    <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    <in>0</in>
                    <out>150</out>
                    <start>555</start>
                    <end>705</end>
                    <file id="file2"/>
                    <sourcetrack><mediatype>audio</mediatype><trackindex>1</trackindex></sourcetrack>
                </clipitem></track></audio>
        </media>
    </sequence>
</xmeml>)";

}  // namespace

TEST(TimelineFrames, SecondsAreTruncatedTowardZero) {
  EXPECT_EQ(seconds_to_frames(1.234), 74);
  EXPECT_EQ(seconds_to_frames(10.5), 630);
  EXPECT_EQ(seconds_to_frames(0.0166), 0);
  EXPECT_EQ(seconds_to_frames(-0.02), -1);
  // 9.266 s is 555.96 frames; in and out are truncated apart from the duration.
  EXPECT_EQ(clip_duration_frames(1.234, 10.5), 555);
  EXPECT_EQ(clip_duration_frames(0.0, 0.01), 1);
  EXPECT_EQ(clip_duration_frames(0.0, 0.0), 1);
}

TEST(TimelineDocument, GoldenDocumentOfTwoClips) {
  const std::vector<TimelineClip> clips = {
      clip("Q&A_cut <1>", "file:////clips/Q%26A_cut%20%3C1%3E.mp4", 1.234, 10.5, 12.0),
      clip("b", "file:////clips/b.mp4", 0.0, 2.5, 2.5),
  };
  const std::string doc =
      timeline_document("Tavelmor Studio – Master Timeline", {1080, 1920}, clips);
  EXPECT_EQ(doc, TWO_CLIP_DOCUMENT);
  expect_well_formed_xml(doc);
}

TEST(TimelineDocument, ClipsAreLaidBackToBack) {
  std::vector<TimelineClip> clips = {
      clip("a", "file:////a.mp4", 0.0, 2.0, 2.0),
      clip("b", "file:////b.mp4", 0.0, 4.0, 4.0),
      clip("c", "file:////c.mp4", 0.0, 1.0, 1.0),
  };
  clips[0].dur_f = 100;
  clips[1].dur_f = 200;
  clips[2].dur_f = 50;
  const std::string doc =
      timeline_document("Tavelmor Studio - Premiere Timeline", {1920, 1080}, clips);
  for (const char* fragment : {"        <name>Tavelmor Studio - Premiere Timeline</name>\n        "
                               "<duration>350</duration>",
                               "<width>1920</width>\n                        <height>1080</height>",
                               "<clipitem id=\"clip3\">", "<clipitem id=\"audioclip3\">",
                               "<start>0</start>\n                    <end>100</end>",
                               "<start>100</start>\n                    <end>300</end>",
                               "<start>300</start>\n                    <end>350</end>"}) {
    EXPECT_NE(doc.find(fragment), std::string::npos) << fragment;
  }
  // Each start/end pair appears once per track.
  size_t count = 0;
  for (size_t at = doc.find("<start>300</start>"); at != std::string::npos;
       at = doc.find("<start>300</start>", at + 1))
    ++count;
  EXPECT_EQ(count, 2u);
  EXPECT_NE(doc.back(), '\n');
  expect_well_formed_xml(doc);
}

TEST(TimelineDocument, OnlyAmpersandAndLessThanAreEscapedInNames) {
  EXPECT_EQ(xml_character_data("Q&A <x> \"y\" 'z' ä"), "Q&amp;A &lt;x> \"y\" 'z' ä");
  EXPECT_EQ(xml_character_data("&amp;"), "&amp;amp;");
}
