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
                          export_cfg(path_to_utf8(out)), log, recorder.done(), recorder.err());

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
                          recorder.done(), recorder.err());
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
      export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(), recorder.err());

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
    const long long frames = seconds_to_frames(get_duration(path));
    expected_clips.push_back({stem_of(path), editor_file_url_premiere(path), 0.0,
                              get_duration(path), std::max(1LL, frames), frames});
  }

  StandInTools tools;
  tools.script("ffprobe", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                              real_program("ffprobe") + "' \"$@\"");
  Recorder recorder;
  run_master_xml_premiere(files, export_cfg(path_to_utf8(scratch / "out")), recorder.log(),
                          recorder.done(), recorder.err());

  const fs::path document = scratch / "out" / "premiere_timeline.xml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  std::string expected_calls;
  for (const std::string& file : files)
    expected_calls += "-v quiet -print_format json -show_format " + absolute_form_text(file) + "\n";
  EXPECT_EQ(sorted_lines(tools.calls()), sorted_lines(expected_calls));
  EXPECT_EQ(read_text_file(document), timeline_document("Tavelmor Studio - Premiere Timeline",
                                                        FrameSize{1080, 1920}, expected_clips));
}
