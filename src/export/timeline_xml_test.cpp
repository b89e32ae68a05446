#include "export/timeline_xml.h"

#include <gtest/gtest.h>

#include "export/davinci_timeline.h"
#include "export/export_test_support.h"
#include "export/premiere_timeline.h"

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
                        <rate><timebase>30</timebase><ntsc>TRUE</ntsc></rate>
                        <duration>359</duration>
                        <media>
                            <video>
                                <samplecharacteristics>
                                    <width>1080</width>
                                    <height>1920</height>
                                </samplecharacteristics>
                            </video>
                            <audio>
                                <samplecharacteristics>
                                    <depth>16</depth>
                                    <samplerate>48000</samplerate>
                                </samplecharacteristics>
                                <channelcount>2</channelcount>
                            </audio>
                        </media>
                    </file>
                    <link><linkclipref>clip1</linkclipref><mediatype>video</mediatype><trackindex>1</trackindex><clipindex>1</clipindex></link>
                    <link><linkclipref>audioclip1</linkclipref><mediatype>audio</mediatype><trackindex>1</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
                    <link><linkclipref>audioclip1-2</linkclipref><mediatype>audio</mediatype><trackindex>2</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
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
                            <audio><channelcount>1</channelcount></audio>
                        </media>
                    </file>
                    <link><linkclipref>clip2</linkclipref><mediatype>video</mediatype><trackindex>1</trackindex><clipindex>2</clipindex></link>
                    <link><linkclipref>audioclip2</linkclipref><mediatype>audio</mediatype><trackindex>1</trackindex><clipindex>2</clipindex><groupindex>1</groupindex></link>
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
                    <link><linkclipref>clip1</linkclipref><mediatype>video</mediatype><trackindex>1</trackindex><clipindex>1</clipindex></link>
                    <link><linkclipref>audioclip1</linkclipref><mediatype>audio</mediatype><trackindex>1</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
                    <link><linkclipref>audioclip1-2</linkclipref><mediatype>audio</mediatype><trackindex>2</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
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
                    <link><linkclipref>clip2</linkclipref><mediatype>video</mediatype><trackindex>1</trackindex><clipindex>2</clipindex></link>
                    <link><linkclipref>audioclip2</linkclipref><mediatype>audio</mediatype><trackindex>1</trackindex><clipindex>2</clipindex><groupindex>1</groupindex></link>
                </clipitem></track>
            <track>
                <clipitem id="audioclip1-2">
                    <name>Q&amp;A_cut &lt;1></name>
                    <duration>555</duration>
                    <rate><timebase>60</timebase><ntsc>FALSE</ntsc></rate>
                    <in>74</in>
                    <out>630</out>
                    <start>0</start>
                    <end>555</end>
                    <file id="file1"/>
                    <sourcetrack><mediatype>audio</mediatype><trackindex>2</trackindex></sourcetrack>
                    <link><linkclipref>clip1</linkclipref><mediatype>video</mediatype><trackindex>1</trackindex><clipindex>1</clipindex></link>
                    <link><linkclipref>audioclip1</linkclipref><mediatype>audio</mediatype><trackindex>1</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
                    <link><linkclipref>audioclip1-2</linkclipref><mediatype>audio</mediatype><trackindex>2</trackindex><clipindex>1</clipindex><groupindex>1</groupindex></link>
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
  std::vector<TimelineClip> clips = {
      clip("Q&A_cut <1>", "file:////clips/Q%26A_cut%20%3C1%3E.mp4", 1.234, 10.5, 12.0),
      clip("b", "file:////clips/b.mp4", 0.0, 2.5, 2.5),
  };
  // A 29.97 fps stereo AAC clip as the probe tells it, and a mono clip whose probe told no more.
  describe_file(clips[0], ClipFacts{12.0,
                                    std::nullopt,
                                    2,
                                    std::nullopt,
                                    SoundFormat{48000, 0},
                                    PictureFacts{1080, 1920, FrameRate{30000, 1001}, true, {}},
                                    {}});
  clips[1].sound_channels = 1;
  const std::string doc =
      timeline_document("Tavelmor Studio – Master Timeline", {1080, 1920}, clips);
  EXPECT_EQ(doc, TWO_CLIP_DOCUMENT);
  expect_well_formed_xml(doc);
#ifndef _WIN32
  auto groups = linked_groups(doc);
  std::sort(groups.begin(), groups.end());
  EXPECT_EQ(groups, (std::vector<std::vector<std::string>>{{"clip1", "audioclip1", "audioclip1-2"},
                                                           {"clip2", "audioclip2"}}));
#endif
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
  // Each start/end pair appears once per track: the picture's and the stereo sound's two.
  size_t count = 0;
  for (size_t at = doc.find("<start>300</start>"); at != std::string::npos;
       at = doc.find("<start>300</start>", at + 1))
    ++count;
  EXPECT_EQ(count, 3u);
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
  // and referring to a file element that is declared; the stereo clip's second channel on a
  // track of its own.
  EXPECT_EQ(xpath(doc, "//audio/track[1]/clipitem/@id"),
            " id=\"audioclip1\"\n id=\"audioclip3\"\n");
  EXPECT_EQ(xpath(doc, "//audio/track[2]/clipitem/@id"), " id=\"audioclip3-2\"\n");
  EXPECT_EQ(xpath(doc, "//audio/track/clipitem/file/@id"),
            " id=\"file1\"\n id=\"file3\"\n id=\"file3\"\n");
  EXPECT_EQ(xpath(doc,
                  "count(//audio/track/clipitem/file[not(@id = //video/track/clipitem/"
                  "file[pathurl]/@id)])"),
            "0\n");
  EXPECT_EQ(xpath(doc, "//video/track/clipitem/start/text()"), "0\n120\n180\n");
  EXPECT_EQ(xpath(doc, "//audio/track[1]/clipitem/start/text()"), "0\n180\n");
  EXPECT_EQ(linked_groups(doc).size(), 3u);
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

TEST(TimelineDocument, FilesDeclareTheirOwnRateAndLengthInTheirFrames) {
  struct Case {
    double seconds;
    std::optional<FrameRate> rate;
    const char* declared;  // timebase, NTSC mark and duration
  };
  const Case cases[] = {
      // ffprobe writes 90 frames at 29.97 as 3.003003 s, a hair short of the 90th frame.
      {3.003003, FrameRate{30000, 1001}, "30</timebase><ntsc>TRUE</ntsc></rate>|90"},
      {12.0, FrameRate{30000, 1001}, "30</timebase><ntsc>TRUE</ntsc></rate>|359"},
      {1.0, FrameRate{24000, 1001}, "24</timebase><ntsc>TRUE</ntsc></rate>|23"},
      {2.5, FrameRate{25, 1}, "25</timebase><ntsc>FALSE</ntsc></rate>|62"},
      // A picture of unknown rate is declared at the sequence's.
      {2.999, std::nullopt, "60</timebase><ntsc>FALSE</ntsc></rate>|179"},
      // A broken file's length stays a number.
      {1e300, FrameRate{30, 1}, "30</timebase><ntsc>FALSE</ntsc></rate>|1000000000000000"},
  };
  for (const Case& c : cases) {
    TimelineClip described = clip("a", "file:////a.mov", 0.0, 1.0, 0.0);
    describe_file(described, ClipFacts{c.seconds,
                                       std::nullopt,
                                       1,
                                       std::nullopt,
                                       SoundFormat{},
                                       PictureFacts{48, 64, c.rate, true, {}},
                                       {}});
    const std::string doc = timeline_document("x", {1080, 1920}, {described});
    const size_t file = doc.find("<pathurl>file:////a.mov</pathurl>");
    const size_t rate = doc.find("<timebase>", file) + 10;
    const size_t duration = doc.find("<duration>", rate) + 10;
    EXPECT_EQ(doc.substr(rate, doc.find("\n", rate) - rate) + "|" +
                  doc.substr(duration, doc.find("<", duration) - duration),
              c.declared)
        << c.seconds;
  }
}

#ifndef _WIN32
namespace {

// The video items as "in-out@start ", in track order.
std::string placed_items(const std::string& doc) {
  const auto values = [&](const char* name) {
    return xpath_lines(doc, std::string("//video/track/clipitem/") + name + "/text()");
  };
  const std::vector<std::string> ins = values("in"), outs = values("out"), starts = values("start");
  std::string placed;
  for (size_t i = 0; i < ins.size() && i < outs.size() && i < starts.size(); ++i)
    placed += ins[i] + "-" + outs[i] + "@" + starts[i] + " ";
  return placed;
}

// Both documents of the clips, DaVinci's first; fails the test when an export fails.
std::vector<std::string> both_documents(const ScopedTempDir& scratch,
                                        const std::vector<fs::path>& davinci_clips,
                                        const std::vector<fs::path>& premiere_clips) {
  const auto texts = [](const std::vector<fs::path>& clips) {
    std::vector<std::string> files;
    for (const fs::path& clip : clips)
      files.push_back(path_to_utf8(clip));
    return files;
  };
  const fs::path out = scratch / "out";
  Recorder davinci;
  run_master_xml(texts(davinci_clips), export_cfg(path_to_utf8(out)), davinci.log(), davinci.done(),
                 davinci.err(), scratch_paths(scratch));
  EXPECT_EQ(davinci.outcome(), "done: " + path_to_utf8(out / "davinci_timeline.xml"));
  Recorder premiere;
  run_master_xml_premiere(texts(premiere_clips), export_cfg(path_to_utf8(out)), premiere.log(),
                          premiere.done(), premiere.err(), scratch_paths(scratch));
  EXPECT_EQ(premiere.outcome(), "done: " + path_to_utf8(out / "premiere_timeline.xml"));
  return {read_text_file(out / "davinci_timeline.xml"),
          read_text_file(out / "premiere_timeline.xml")};
}

}  // namespace
#endif

TEST(TimelineDocument, AJumpCutClipIsOneItemPerSpanEachWithItsSoundLinked) {
  SKIP_ON_WINDOWS("read back with xmllint");
#ifndef _WIN32
  const auto document = [](const std::vector<double>& joins) {
    std::vector<TimelineClip> clips = {clip("jump", "file:////jump.mp4", 0.5, 3.5, 4.0),
                                       clip("silent", "file:////silent.mp4", 0.0, 1.0, 1.0),
                                       clip("mono", "file:////mono.mp4", 0.0, 0.5, 0.5)};
    clips[0].joins = joins;
    clips[1].sound_channels = 0;
    clips[2].sound_channels = 1;
    return timeline_document("x", {1080, 1920}, clips);
  };
  struct Case {
    std::vector<double> joins;
    const char* items;
    int spans;
  };
  const Case cases[] = {
      {{1.5, 3.0}, "30-90@0 90-180@60 180-210@150 0-60@180 0-30@240 ", 3},
      // A join a hair below its frame (1.5333… × 60 comes out below 92) still falls on it.
      {{1.5333333333333332}, "30-92@0 92-210@62 0-60@180 0-30@240 ", 2},
      // A span within one frame leaves no item of its own.
      {{1.5, 1.505}, "30-90@0 90-210@60 0-60@180 0-30@240 ", 2},
  };
  for (const Case& c : cases) {
    const std::string doc = document(c.joins);
    expect_well_formed_xml(doc);
    EXPECT_EQ(placed_items(doc), c.items);
    // Each span as long as its in-to-out; the file declared once; each span's two channels, the
    // silent clip alone and the mono clip with its one, each group linked.
    EXPECT_EQ(xpath(doc, "count(//clipitem[end - start != out - in][name = 'jump'])"), "0\n");
    EXPECT_EQ(xpath(doc, "count(//file[pathurl])"), "3\n");
    EXPECT_EQ(xpath(doc, "count(//audio/track/clipitem)"), std::to_string(2 * c.spans + 1) + "\n");
    EXPECT_EQ(linked_groups(doc).size(), static_cast<size_t>(c.spans + 2));
  }
  // Joins at or beyond the ends of the span change nothing.
  EXPECT_EQ(document({0.5, 3.5, 3.9}), document({}));
#endif
}

TEST(TimelineDocumentMedia, BothDocumentsDeclareEachFileAsFfprobeReadsItAndLinkItsSound) {
  SKIP_ON_WINDOWS("read back with xmllint");
#ifndef _WIN32
  ScopedTempDir scratch;
  // 29.97 fps with mono 16-bit sound; 25 fps with stereo AAC, turned a quarter by its matrix
  // (which FFmpeg sets on a stream copy).
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=30000/1001", "-f", "lavfi", "-i",
              "sine=sample_rate=44100", "-t", "0.5", "-c:v", "libx264", "-preset", "ultrafast",
              "-c:a", "pcm_s16le", path_to_utf8(scratch / "ntsc.mov")});
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
              "sine=sample_rate=48000", "-t", "0.5", "-ac", "2", "-c:v", "libx264", "-preset",
              "ultrafast", "-c:a", "aac", path_to_utf8(scratch / "upright.mp4")});
  run_ffmpeg({"-i", path_to_utf8(scratch / "upright.mp4"), "-c", "copy", "-metadata:s:v:0",
              "rotate=90", path_to_utf8(scratch / "turned.mp4")});
  const std::vector<fs::path> clips = {scratch / "ntsc.mov", scratch / "turned.mp4"};

  // What ffprobe reads: rate, frames, shown size, depth, sample rate, channels.
  std::vector<std::string> expected;
  for (const fs::path& clip : clips) {
    const Json probed = probe(clip);
    const Json video = streams_of(probed, "video").at(0);
    const Json sound = streams_of(probed, "audio").at(0);
    // The picture is the longest stream, so the file lasts its frames.
    ASSERT_NEAR(std::stod(probed["format"]["duration"].get<std::string>()),
                std::stod(video["duration"].get<std::string>()), 0.001);
    const bool turned = video.contains("side_data_list");
    const std::string rate = video["r_frame_rate"];
    // AAC has no fixed depth: declared at 16 bits, as editors write it.
    const int bits =
        sound.value("bits_per_sample", 0) > 0 ? sound["bits_per_sample"].get<int>() : 16;
    expected.push_back((rate == "30000/1001" ? "30 TRUE "
                        : rate == "25/1"     ? "25 FALSE "
                                             : "? ") +
                       video["nb_frames"].get<std::string>() + " " +
                       std::to_string(video[turned ? "height" : "width"].get<int>()) + "x" +
                       std::to_string(video[turned ? "width" : "height"].get<int>()) + " " +
                       std::to_string(bits) + " " + sound["sample_rate"].get<std::string>() + " " +
                       std::to_string(sound["channels"].get<int>()) + "\n");
  }
  ASSERT_EQ(expected[1].substr(0, 15), "25 FALSE 13 48x");  // the matrix turns 64x48 upright

  for (const std::string& doc : both_documents(scratch, clips, clips)) {
    expect_well_formed_xml(doc);
    for (size_t i = 0; i < clips.size(); ++i) {
      const std::string f = "//file[@id='file" + std::to_string(i + 1) + "']";
      EXPECT_EQ(
          xpath(doc, "concat(" + f + "/rate/timebase, ' ', " + f + "/rate/ntsc, ' ', " + f +
                         "/duration, ' ', " + f + "//width, 'x', " + f + "//height, ' ', " + f +
                         "//depth, ' ', " + f + "//samplerate, ' ', " + f + "//channelcount)"),
          expected[i]);
    }
    // The mono clip's sound is one item; the stereo clip's a pair on tracks 1 and 2, taking
    // source tracks 1 and 2, one stereo group; each linked with its picture.
    auto groups = linked_groups(doc);
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(groups, (std::vector<std::vector<std::string>>{
                          {"clip1", "audioclip1"}, {"clip2", "audioclip2", "audioclip2-2"}}));
    EXPECT_EQ(xpath(doc, "//audio/track/clipitem/sourcetrack/trackindex/text()"), "1\n1\n2\n");
    EXPECT_EQ(xpath(doc, "//clipitem[@id='clip2']/link/groupindex/text()"), "1\n1\n");
  }
#endif
}

TEST(TimelineDocumentMedia, AJumpCutClipIsOneItemPerSpanInBothDocuments) {
  SKIP_ON_WINDOWS("read back with xmllint");
#ifndef _WIN32
  ScopedTempDir scratch;
  for (const char* name : {"jump.mp4", "jump.mkv"}) {
    run_ffmpeg({"-f",
                "lavfi",
                "-i",
                "testsrc2=size=64x48:rate=30",
                "-f",
                "lavfi",
                "-i",
                "sine=sample_rate=48000",
                "-t",
                "4",
                "-c:v",
                "libx264",
                "-preset",
                "ultrafast",
                "-metadata",
                "TAVELMOR_C_IN=0.5",
                "-metadata",
                "TAVELMOR_C_OUT=3.5",
                "-metadata",
                "TAVELMOR_CUTS=1.5,3.0",
                "-movflags",
                "use_metadata_tags",
                path_to_utf8(scratch / name)});
  }
  make_clip(scratch / "plain.mp4", 0.5);
  // DaVinci takes the MP4's handle span, Premiere the whole of its MP4 copy of the MKV.
  const std::vector<std::string> docs = both_documents(
      scratch, {scratch / "jump.mp4", scratch / "plain.mp4"}, {scratch / "jump.mkv"});
  const auto frames_of = [](const fs::path& file) {
    return std::to_string(seconds_to_frames(get_duration(path_to_utf8(file))));
  };
  EXPECT_EQ(placed_items(docs[0]),
            "30-90@0 90-180@60 180-210@150 0-" + frames_of(scratch / "plain.mp4") + "@180 ");
  EXPECT_EQ(placed_items(docs[1]),
            "0-90@0 90-180@90 180-" +
                frames_of(scratch / "out" / "Premiere_Pro_Cut_Videos" / "jump_premiere.mp4") +
                "@180 ");
  // Each span's picture and its sound (the tone is mono) linked as one group.
  for (const auto& [doc, spans] : {std::pair{docs[0], 4u}, std::pair{docs[1], 3u}}) {
    expect_well_formed_xml(doc);
    const auto groups = linked_groups(doc);
    EXPECT_EQ(groups.size(), spans);
    for (const auto& group : groups)
      EXPECT_EQ(group.size(), 2u) << group[0];
  }
#endif
}
