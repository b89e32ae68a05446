#include "export/davinci_timeline.h"

#include <gtest/gtest.h>

#include "export/export_test_support.h"
#include "export/file_url.h"
#include "export/timeline_xml.h"

namespace {

bool contains(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

std::string frames_text(double seconds) {
  return std::to_string(seconds_to_frames(seconds));
}

}  // namespace

TEST(DavinciSpan, HandlesClampingAndFallbacks) {
  struct Case {
    double total;
    std::optional<HandlePair> handles;
    double t_start;
    double t_end;
    bool from_handles;
  };
  const Case cases[] = {
      {12.0, HandlePair{1.234, 10.5}, 1.234, 10.5, true},
      {19.5, HandlePair{0.0, 20.0}, 0.0, 19.45, true},
      // An end not after the start uses the whole clip; the message shows what is used.
      {8.0, HandlePair{5.0, 4.0}, 0.0, 8.0, true},
      {8.0, HandlePair{5.0, 5.0}, 0.0, 8.0, true},
      // Unlike the MP4 master, a short span stays.
      {8.0, HandlePair{5.0, 5.1}, 5.0, 5.1, true},
      {7.5, std::nullopt, 0.0, 7.5, false},
  };
  for (const Case& c : cases) {
    const TimelineSpan span = davinci_span(c.total, c.handles);
    EXPECT_EQ(span.t_start, c.t_start) << c.total;
    EXPECT_DOUBLE_EQ(span.t_end, c.t_end) << c.total;
    EXPECT_EQ(span.from_handles, c.from_handles) << c.total;
  }
}

TEST(DavinciTimelineMedia, ClipsTrimmedToHandlesAndReferencedWhereTheyLie) {
  ScopedTempDir scratch;
  const fs::path clips = scratch / "My Clips";
  make_clip(clips / "Q&A_cut.mp4", 1.0, true, std::make_pair(0.2, 0.7));
  make_clip(clips / "plain.mkv", 0.5);
  fs::create_symlink(clips / "plain.mkv", scratch / "link.mkv");
  write_text_file(scratch / "out" / "davinci_timeline.xml", "old");

  Recorder recorder;
  run_master_xml({path_to_utf8(clips / "Q&A_cut.mp4"), path_to_utf8(scratch / "link.mkv")},
                 export_cfg(path_to_utf8(scratch / "out"), "Querformat 1920x1080"), recorder.log(),
                 recorder.done(), recorder.err(), scratch_paths(scratch));

  const fs::path document = scratch / "out" / "davinci_timeline.xml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  const std::string qa = path_to_utf8(fs::canonical(clips / "Q&A_cut.mp4"));
  const std::string plain = path_to_utf8(fs::canonical(clips / "plain.mkv"));
  const std::vector<std::string> expected_logs = {
      "DaVinci Export: nutze Clips direkt aus der Reihenfolge",
      "Analysiere Clips ...",
      "[1/2] Q&A_cut.mp4",
      "Handle: In=0.20s Out=0.70s",
      "[2/2] plain.mkv",
      "Gespeichert: " + path_to_utf8(document)};
  EXPECT_EQ(recorder.logs(), expected_logs);

  const std::string doc = read_text_file(document);
  const std::string plain_frames = frames_text(get_duration(plain));
  for (const std::string& fragment : {
           std::string("<name>Tavelmor Studio – Master Timeline</name>\n        <duration>") +
               std::to_string(29 + std::stoll(plain_frames)) + "</duration>",
           std::string("<width>1920</width>"),
           // 0.7 - 0.2 is just below 0.5 in doubles: 29 frames, while in and out give 30.
           std::string("<name>Q&amp;A_cut</name>\n                    <duration>29</duration>"),
           std::string("<in>12</in>\n                    <out>42</out>"),
           "<pathurl>" + editor_file_url_davinci(qa) + "</pathurl>",
           // The file in its own frames, 30 a second.
           "<rate><timebase>30</timebase><ntsc>FALSE</ntsc></rate>\n" + std::string(24, ' ') +
               "<duration>" + std::to_string(static_cast<long long>(get_duration(qa) * 30)) +
               "</duration>\n",
           std::string("<name>plain</name>"),
           "<in>0</in>\n                    <out>" + plain_frames + "</out>\n" +
               "                    <start>29</start>",
           "<pathurl>" + editor_file_url_davinci(plain) + "</pathurl>",
       }) {
    EXPECT_TRUE(contains(doc, fragment)) << fragment << "\n" << doc;
  }
  EXPECT_TRUE(contains(doc, "file:////"));
  EXPECT_TRUE(contains(doc, "/My%20Clips/Q%26A_cut.mp4</pathurl>"));
  expect_well_formed_xml(doc);
}

TEST(DavinciTimelineMedia, AMissingClipStopsTheExportWithItsPath) {
  ScopedTempDir scratch;
  make_clip(scratch / "here.mp4", 0.3);
  write_text_file(scratch / "out" / "davinci_timeline.xml", "old");

  Recorder recorder;
  const std::string gone = path_to_utf8(scratch / "gone.mp4");
  run_master_xml({path_to_utf8(scratch / "here.mp4"), gone, path_to_utf8(scratch / "here.mp4")},
                 export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));

  EXPECT_EQ(recorder.outcome(), "err: Datei nicht gefunden: " + gone);
  EXPECT_EQ(recorder.logs().back(), "[2/3] gone.mp4");
  EXPECT_EQ(read_text_file(scratch / "out" / "davinci_timeline.xml"), "old");

  Recorder unknown_frame;
  run_master_xml({path_to_utf8(scratch / "here.mp4")},
                 export_cfg(path_to_utf8(scratch / "out"), "Quadrat"), unknown_frame.log(),
                 unknown_frame.done(), unknown_frame.err(), scratch_paths(scratch));
  EXPECT_EQ(unknown_frame.outcome(), "err: Unbekannte Auflösung: Quadrat");
}

TEST(DavinciTimelineMedia, OneProbePerClipGivesTheDocumentOfSeparateMeasures) {
  SKIP_ON_WINDOWS("the counting stand-in needs a POSIX shell");
  ScopedTempDir scratch;
  make_clip(scratch / "a_cut.mp4", 1.0, true, std::make_pair(0.1, 0.8));
  make_clip(scratch / "b.mkv", 0.5);
  make_clip(scratch / "c_cut.mov", 0.7, false, std::make_pair(0.0, 0.6));
  const std::vector<std::string> files = {path_to_utf8(scratch / "a_cut.mp4"),
                                          path_to_utf8(scratch / "b.mkv"),
                                          path_to_utf8(scratch / "c_cut.mov")};
  // The document as duration, handles and sound read by separate probes, and each file measured
  // again.
  std::vector<TimelineClip> expected_clips;
  for (const std::string& file : files) {
    const std::string path = absolute_form_text(file);
    const ClipFacts facts = separately_measured_facts(path);
    const TimelineSpan span = davinci_span(facts.duration, facts.handles);
    TimelineClip clip;
    clip.name = stem_of(path);
    clip.pathurl = editor_file_url_davinci(path);
    clip.t_start = span.t_start;
    clip.t_end = span.t_end;
    clip.dur_f = clip_duration_frames(span.t_start, span.t_end);
    describe_file(clip, facts);
    expected_clips.push_back(clip);
  }
  ASSERT_TRUE(expected_clips[0].t_start > 0.0 && expected_clips[2].t_end < 0.7);
  // The tone of the test clips is mono; the last clip has no sound.
  ASSERT_EQ(expected_clips[0].sound_channels, 1);
  ASSERT_EQ(expected_clips[2].sound_channels, 0);

  StandInTools tools;
  tools.script("ffprobe", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                              real_program("ffprobe") + "' \"$@\"");
  tools.script("ffmpeg", "echo \"$@\" >> '" + tools.calls_file() + "'\nexit 1");
  Recorder recorder;
  run_master_xml(files, export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));

  const fs::path document = scratch / "out" / "davinci_timeline.xml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  std::vector<std::string> probed;
  for (const std::string& file : files)
    probed.push_back(absolute_form_text(file));
  expect_one_probe_each(tools.calls(), probed);
  EXPECT_EQ(read_text_file(document), timeline_document("Tavelmor Studio – Master Timeline",
                                                        FrameSize{1080, 1920}, expected_clips));
}

TEST(DavinciTimelineMedia, FilesDeclareTheTimecodeAndSoundTheyHold) {
  ScopedTempDir scratch;
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=30000/1001", "-f", "lavfi", "-i",
              "sine=sample_rate=48000", "-t", "0.3", "-c:v", "libx264", "-preset", "ultrafast",
              "-c:a", "aac", "-metadata", "timecode=01:00:00;00",
              path_to_utf8(scratch / "ntsc.mov")});
  run_ffmpeg({"-f",
              "lavfi",
              "-i",
              "testsrc2=size=64x48:rate=25",
              "-f",
              "lavfi",
              "-i",
              "sine=sample_rate=48000",
              "-t",
              "0.3",
              "-ac",
              "2",
              "-c:v",
              "libx264",
              "-preset",
              "ultrafast",
              "-c:a",
              "aac",
              "-metadata",
              "timecode=10:00:00:00",
              path_to_utf8(scratch / "pal.mkv")});
  Recorder recorder;
  run_master_xml({path_to_utf8(scratch / "ntsc.mov"), path_to_utf8(scratch / "pal.mkv")},
                 export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                 recorder.err(), scratch_paths(scratch));
  const fs::path document = scratch / "out" / "davinci_timeline.xml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));

  const std::string doc = read_text_file(document);
  expect_well_formed_xml(doc);
  const std::string pad = "\n                            ";
  for (const std::string& fragment :
       {"<timecode>" + pad + "<rate><timebase>30</timebase><ntsc>TRUE</ntsc></rate>" + pad +
            "<string>01:00:00;00</string>" + pad + "<frame>107892</frame>" + pad +
            "<displayformat>DF</displayformat>",
        "<timecode>" + pad + "<rate><timebase>25</timebase><ntsc>FALSE</ntsc></rate>" + pad +
            "<string>10:00:00:00</string>" + pad + "<frame>900000</frame>" + pad +
            "<displayformat>NDF</displayformat>",
        std::string("<samplerate>48000</samplerate>"),
        std::string("</samplecharacteristics>\n                                <channelcount>1"),
        std::string("</samplecharacteristics>\n                                <channelcount>2")}) {
    EXPECT_TRUE(contains(doc, fragment)) << fragment << "\n" << doc;
  }
  EXPECT_LT(doc.find("<string>01:00:00;00</string>"), doc.find("<string>10:00:00:00</string>"));
  EXPECT_LT(doc.find("<channelcount>1</channelcount>"), doc.find("<channelcount>2</channelcount>"));
}
