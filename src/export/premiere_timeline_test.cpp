#include "export/premiere_timeline.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "export/export_test_support.h"
#include "export/file_url.h"
#include "export/timeline_xml.h"
#include "media/ffmpeg_tools.h"

namespace {

bool contains(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

}  // namespace

TEST(PremiereTimelineMedia, MkvClipsAreConvertedReferencedAndDeletedAfterTheDocument) {
  ScopedTempDir scratch;
  make_clip(scratch / "a.mp4", 1.0, true, std::make_pair(0.2, 0.7));
  make_clip(scratch / "b.mkv", 0.5);
  write_text_file(scratch / "b.mkv.handles.json", "{}");
  const fs::path out = scratch / "out";
  const fs::path document = out / "premiere_timeline.xml";
  const fs::path copy = out / "Premiere_Pro_Cut_Videos" / "b_premiere.mp4";

  // What lies on disk when each message is logged.
  std::vector<std::string> seen;
  Recorder recorder;
  const MessageFn log = [&](const std::string& msg) {
    recorder.log()(msg);
    seen.push_back(std::string(fs::exists(document) ? "doc" : "-") + "/" +
                   (fs::exists(scratch / "b.mkv") ? "mkv" : "-"));
  };
  run_master_xml_premiere({path_to_utf8(scratch / "a.mp4"), path_to_utf8(scratch / "b.mkv")},
                          export_cfg(path_to_utf8(out)), log, recorder.done(), recorder.err(),
                          scratch_paths(scratch));

  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  const std::vector<std::string> expected_logs = {
      "Premiere: bereite MP4 vor: b.mkv",
      "Analysiere Clips für Premiere ...",
      "[1/2] a.mp4",
      "[2/2] b_premiere.mp4",
      "Premiere Export nutzt vorbereitete Medien im Ordner Premiere_Pro_Cut_Videos",
      "Gespeichert: " + path_to_utf8(document),
      "Originaldateien nach erfolgreichem Export entfernt: 1"};
  EXPECT_EQ(recorder.logs(), expected_logs);
  const std::vector<std::string> expected_seen = {"-/mkv",   "-/mkv",   "-/mkv", "-/mkv",
                                                  "doc/mkv", "doc/mkv", "doc/-"};
  EXPECT_EQ(seen, expected_seen);
  EXPECT_FALSE(fs::exists(scratch / "b.mkv.handles.json"));

  const std::string doc = read_text_file(document);
  const std::string a_frames =
      std::to_string(seconds_to_frames(get_duration(path_to_utf8(scratch / "a.mp4"))));
  const std::string b_frames = std::to_string(seconds_to_frames(get_duration(path_to_utf8(copy))));
  for (const std::string& fragment : {
           std::string("        <name>Tavelmor Studio - Premiere Timeline</name>"),
           // The handles play no part: the clip is used whole.
           "<name>a</name>\n                    <duration>" + a_frames + "</duration>",
           "<in>0</in>\n                    <out>" + a_frames + "</out>",
           "<pathurl>" + editor_file_url_premiere(path_to_utf8(scratch / "a.mp4")) + "</pathurl>",
           std::string("<name>b_premiere</name>"),
           "<start>" + a_frames + "</start>",
           "<pathurl>" + editor_file_url_premiere(path_to_utf8(copy)) + "</pathurl>",
       }) {
    EXPECT_TRUE(contains(doc, fragment)) << fragment << "\n" << doc;
  }
  EXPECT_TRUE(contains(doc, "file://localhost//"));
  EXPECT_FALSE(contains(doc, "–"));
  expect_well_formed_xml(doc);
}

TEST(PremiereTimelineMedia, ClipsInOtherContainersAreUsedWhereTheyLie) {
  ScopedTempDir scratch;
  make_clip(scratch / "a.mp4", 0.3);
  Recorder recorder;
  run_master_xml_premiere({path_to_utf8(scratch / "a.mp4")},
                          export_cfg(path_to_utf8(scratch / "out")), recorder.log(),
                          recorder.done(), recorder.err(), scratch_paths(scratch));
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(scratch / "out" / "premiere_timeline.xml"));
  const std::vector<std::string> logs = recorder.logs();
  EXPECT_EQ(logs.at(0), "Analysiere Clips für Premiere ...");
  EXPECT_EQ(logs.at(2),
            "Premiere Export nutzt vorhandene Dateien direkt – keine MKV-Umwandlung nötig");
  EXPECT_EQ(logs.size(), 4u);
  EXPECT_FALSE(fs::exists(scratch / "out" / "Premiere_Pro_Cut_Videos"));
  EXPECT_TRUE(fs::exists(scratch / "a.mp4"));
}

TEST(PremiereTimelineMedia, AFailingConversionWritesNoDocumentAndDeletesNothing) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  make_clip(scratch / "first.mkv", 0.3);
  make_clip(scratch / "second.mkv", 0.3);
  const std::string ffmpeg = real_program("ffmpeg");
  StandInTools tools;
  tools.script("ffmpeg", "case \"$*\" in *second.mkv*) echo 'kaputt' >&2; exit 1 ;; esac\nexec '" +
                             ffmpeg + "' \"$@\"");

  Recorder recorder;
  run_master_xml_premiere(
      {path_to_utf8(scratch / "first.mkv"), path_to_utf8(scratch / "second.mkv")},
      export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(), recorder.err(),
      scratch_paths(scratch));

  EXPECT_EQ(recorder.outcome(), "err: Premiere: MP4 konnte nicht erstellt werden:\nkaputt\n");
  EXPECT_FALSE(fs::exists(scratch / "out" / "premiere_timeline.xml"));
  EXPECT_TRUE(fs::exists(scratch / "first.mkv"));
  EXPECT_TRUE(fs::exists(scratch / "second.mkv"));
  // The copy made for the first clip stays for the next export.
  EXPECT_TRUE(fs::exists(scratch / "out" / "Premiere_Pro_Cut_Videos" / "first_premiere.mp4"));
  EXPECT_FALSE(fs::exists(scratch / "out" / "Premiere_Pro_Cut_Videos" / "second_premiere.mp4"));
}

TEST(PremiereTimelineMedia, EachClipIsProbedOnce) {
  SKIP_ON_WINDOWS("the counting stand-in needs a POSIX shell");
  ScopedTempDir scratch;
  make_clip(scratch / "a.mp4", 0.5, true, std::make_pair(0.1, 0.3));
  make_clip(scratch / "b.mov", 0.4, false);
  const std::vector<std::string> files = {path_to_utf8(scratch / "a.mp4"),
                                          path_to_utf8(scratch / "b.mov")};
  // The whole files, as separate measures give them.
  std::vector<TimelineClip> expected_clips;
  for (const std::string& file : files) {
    const std::string path = absolute_form_text(file);
    const ClipFacts facts = separately_measured_facts(path);
    TimelineClip clip;
    clip.name = stem_of(path);
    clip.pathurl = editor_file_url_premiere(path);
    clip.t_end = facts.duration;
    clip.dur_f = std::max(1LL, seconds_to_frames(facts.duration));
    describe_file(clip, facts);
    expected_clips.push_back(clip);
  }
  ASSERT_EQ(expected_clips[1].sound_channels, 0);

  StandInTools tools;
  tools.script("ffprobe", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                              real_program("ffprobe") + "' \"$@\"");
  Recorder recorder;
  run_master_xml_premiere(files, export_cfg(path_to_utf8(scratch / "out")), recorder.log(),
                          recorder.done(), recorder.err(), scratch_paths(scratch));

  const fs::path document = scratch / "out" / "premiere_timeline.xml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  std::vector<std::string> probed;
  for (const std::string& file : files)
    probed.push_back(absolute_form_text(file));
  expect_one_probe_each(tools.calls(), probed);
  EXPECT_EQ(read_text_file(document), timeline_document("Tavelmor Studio - Premiere Timeline",
                                                        FrameSize{1080, 1920}, expected_clips));
}

TEST(PremiereTimelineMedia, ConvertedCopiesKeepTheTimecodeOfTheirSource) {
  ScopedTempDir scratch;
  make_clip(scratch / "plain.mkv", 0.4);
  run_ffmpeg({"-i", path_to_utf8(scratch / "plain.mkv"), "-c", "copy", "-metadata",
              "timecode=10:00:03:12", path_to_utf8(scratch / "take.mkv")});
  // FFV1 cannot go into MP4 as it is: its copy is encoded, at 60 fps.
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-t", "0.3", "-c:v", "ffv1",
              "-metadata", "timecode=10:00:03:12", path_to_utf8(scratch / "raw.mkv")});
  const fs::path out = scratch / "out";
  Recorder recorder;
  run_master_xml_premiere({path_to_utf8(scratch / "take.mkv"), path_to_utf8(scratch / "raw.mkv")},
                          export_cfg(path_to_utf8(out)), recorder.log(), recorder.done(),
                          recorder.err(), scratch_paths(scratch));
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(out / "premiere_timeline.xml"));
  const std::vector<std::string> logs = recorder.logs();
  EXPECT_NE(std::find(logs.begin(), logs.end(),
                      "Premiere: direktes MP4-Remux fehlgeschlagen – enkodiere H.264 ..."),
            logs.end());

  const std::string doc = read_text_file(out / "premiere_timeline.xml");
  expect_well_formed_xml(doc);
  const std::string pad = "\n                            ";
  // The stream copy keeps the 30 fps timecode as it is; the encode names the same clock time at
  // 60 fps, 12 of 25 frames being 28.8 of 60.
  for (const std::string& block :
       {"<timebase>30</timebase><ntsc>FALSE</ntsc></rate>" + pad + "<string>10:00:03:12</string>" +
            pad + "<frame>1080102</frame>" + pad + "<displayformat>NDF</displayformat>",
        "<timebase>60</timebase><ntsc>FALSE</ntsc></rate>" + pad + "<string>10:00:03:29</string>" +
            pad + "<frame>2160209</frame>" + pad + "<displayformat>NDF</displayformat>"}) {
    EXPECT_TRUE(contains(doc, block)) << block << "\n" << doc;
  }
  // The mono take is declared so; the FFV1 take has no sound and no audio item.
  EXPECT_TRUE(contains(doc, "<channelcount>1</channelcount>"));
  EXPECT_FALSE(contains(doc, "<channelcount>2</channelcount>"));
  EXPECT_TRUE(contains(doc, "<clipitem id=\"audioclip1\">"));
  EXPECT_FALSE(contains(doc, "<clipitem id=\"audioclip2\">"));
  // Each copy says so itself, on its video stream and in its tmcd track.
  for (const auto& [copy, timecode] : {std::pair{"take_premiere.mp4", "10:00:03:12"},
                                       std::pair{"raw_premiere.mp4", "10:00:03:29"}}) {
    const Json probed = probe(out / "Premiere_Pro_Cut_Videos" / copy);
    EXPECT_EQ(streams_of(probed, "video").at(0)["tags"]["timecode"], timecode) << copy;
    EXPECT_EQ(streams_of(probed, "data").at(0)["tags"]["timecode"], timecode) << copy;
  }
}
