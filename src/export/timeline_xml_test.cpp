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

// A file element as the mixed list below declares its first clip: mono, timecoded drop-frame.
const char* const MONO_TIMECODED_FILE = R"(
                    <file id="file1">
                        <name>a</name>
                        <pathurl>file:////a.mp4</pathurl>
                        <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                        <duration>120</duration>
                        <timecode>
                            <rate><timebase>30</timebase><ntsc>TRUE</ntsc></rate>
                            <string>01:00:00;00</string>
                            <frame>107892</frame>
                            <displayformat>DF</displayformat>
                        </timecode>
                        <media>
                            <video>
                                <samplecharacteristics>
                                    <width>1080</width>
                                    <height>1920</height>
                                </samplecharacteristics>
                            </video>
                            <audio><channelcount>1</channelcount></audio>
                        </media>
                    </file>
)";

#ifndef _WIN32
// What an XPath expression selects in the document, as xmllint prints it (Linux suite only).
std::string xpath(const std::string& doc, const std::string& expression) {
  ScopedTempDir dir("tavelmor_xpath_");
  write_text_file(dir / "doc.xml", doc);
  const ProcessResult selected =
      run_process({"xmllint", "--xpath", expression, path_to_utf8(dir / "doc.xml")}, 30,
                  OutputDecoding::replace_invalid);
  return selected.out;
}
#endif

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

TEST(TimelineDocument, FilesDeclareTheirSoundAndTimecode) {
  std::vector<TimelineClip> clips = {
      clip("a", "file:////a.mp4", 0.0, 2.0, 2.0),
      clip("b", "file:////b.mov", 0.5, 1.5, 1.5),
      clip("c", "file:////c.mkv", 0.0, 1.0, 1.0),
  };
  clips[0].sound_channels = 1;
  clips[0].timecode = parse_timecode("01:00:00;00", FrameRate{30000, 1001});
  clips[1].sound_channels = 0;
  clips[1].timecode = parse_timecode("10:00:03:00", FrameRate{25, 1});
  const std::string doc =
      timeline_document("Tavelmor Studio – Master Timeline", {1080, 1920}, clips);
  expect_well_formed_xml(doc);

  EXPECT_NE(doc.find(MONO_TIMECODED_FILE), std::string::npos) << doc;
  const std::string soundless = doc.substr(doc.find("<file id=\"file2\">"));
  EXPECT_EQ(soundless.substr(0, soundless.find("</file>")).find("<audio>"), std::string::npos);
  EXPECT_NE(doc.find("<duration>90</duration>\n"
                     "                        <timecode>\n"
                     "                            <rate><timebase>25</timebase><ntsc>FALSE</ntsc>"
                     "</rate>\n"
                     "                            <string>10:00:03:00</string>\n"
                     "                            <frame>900075</frame>\n"
                     "                            <displayformat>NDF</displayformat>"),
            std::string::npos);
  // The clip without either keeps today's file element.
  const std::string plain = doc.substr(doc.find("<file id=\"file3\">"));
  EXPECT_EQ(plain.substr(0, plain.find("</file>")).find("<timecode>"), std::string::npos);
  EXPECT_NE(plain.find("<audio><channelcount>2</channelcount></audio>"), std::string::npos);

#ifndef _WIN32
  // Read back: no audio item for the soundless clip, each audio item placed with its video item
  // and referring to a file element that is declared.
  EXPECT_EQ(xpath(doc, "//audio/track/clipitem/@id"), " id=\"audioclip1\"\n id=\"audioclip3\"\n");
  EXPECT_EQ(xpath(doc, "//audio/track/clipitem/file/@id"), " id=\"file1\"\n id=\"file3\"\n");
  EXPECT_EQ(xpath(doc,
                  "count(//audio/track/clipitem/file[not(@id = //video/track/clipitem/"
                  "file[pathurl]/@id)])"),
            "0\n");
  EXPECT_EQ(xpath(doc, "//video/track/clipitem/start/text()"), "0\n120\n180\n");
  EXPECT_EQ(xpath(doc, "//audio/track/clipitem/start/text()"), "0\n180\n");
  EXPECT_EQ(xpath(doc, "//video/track/clipitem/file/timecode/string/text()"),
            "01:00:00;00\n10:00:03:00\n");
#endif

  // A list of soundless clips leaves the audio track empty.
  clips[0].sound_channels = 0;
  clips[2].sound_channels = 0;
  const std::string silent = timeline_document("x", {1080, 1920}, clips);
  EXPECT_NE(silent.find("<audio><track></track></audio>"), std::string::npos);
  EXPECT_EQ(silent.find("audioclip"), std::string::npos);
  expect_well_formed_xml(silent);
}
