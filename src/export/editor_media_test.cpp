#include "export/editor_media.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "export/export_test_support.h"
#include "settings/utf8.h"
#include "support/device_media.h"

namespace {

const std::string FOLDER = "Premiere_Pro_Cut_Videos";

// Every file name in a folder, hidden ones included, sorted.
std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(path_to_utf8(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> preparation_lines(const Recorder& recorder) {
  std::vector<std::string> lines;
  for (const std::string& line : recorder.logs()) {
    if (line.rfind("Premiere: ", 0) == 0)
      lines.push_back(line);
  }
  return lines;
}

EditorMedia prepare_for_premiere(const std::vector<fs::path>& clips, const fs::path& out,
                                 Recorder& recorder) {
  std::vector<std::string> files;
  for (const fs::path& clip : clips)
    files.push_back(path_to_utf8(clip));
  return prepare_files_for_editor(files, export_cfg(path_to_utf8(out)), recorder.log(), "premiere",
                                  FOLDER, true);
}

}  // namespace

TEST(EditorStrategy, ByTargetAndExtension) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"premiere", "/a/x.mkv", "mp4"},    {"premiere", "/a/CLIP.MKV", "mp4"},
      {"premiere", "/a/x.mp4", "direct"}, {"premiere", "/a/x.mov", "direct"},
      {"premiere", "/a/x", "direct"},     {"premiere", "/a.mkv/x.webm", "direct"},
      {"davinci", "/a/x.mkv", "direct"},  {"davinci", "/a/x", "direct"},
      {"capcut", "/a/x.mp4", "direct"},   {"capcut", "/a/x.MOV", "direct"},
      {"capcut", "/a/x.mkv", "direct"},   {"capcut", "/a/x.webm", "mp4"},
      {"capcut", "/a/x", "mp4"},          {"capcut", "/a/.mkv", "mp4"},
      {"Premiere", "/a/x.mkv", "direct"}, {"other", "/a/x.mkv", "direct"},
  };
  for (const auto& [target, path, strategy] : cases)
    EXPECT_EQ(export_media_strategy(target, path), strategy) << target << " " << path;
}

TEST(EditorTitleCase, EveryWordStartsUpperCase) {
  EXPECT_EQ(title_case("premiere"), "Premiere");
  EXPECT_EQ(title_case("capCUT pro"), "Capcut Pro");
  EXPECT_EQ(title_case("x-ray2go"), "X-Ray2Go");
  EXPECT_EQ(title_case(""), "");
}

TEST(EditorPrepare, ClipsUsedDirectlyNeedNoFolderAndNoFfmpeg) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  StandInTools tools;
  tools.script("ffmpeg", "exit 1");
  Recorder recorder;
  const EditorMedia media = prepare_for_premiere(
      {scratch / "a.mp4", scratch / "sub" / ".." / "b.MOV"}, scratch / "out", recorder);
  const std::vector<std::string> expected = {path_to_utf8(scratch / "a.mp4"),
                                             path_to_utf8(scratch / "b.MOV")};
  EXPECT_EQ(media.prepared, expected);
  EXPECT_TRUE(media.original_files_to_delete.empty());
  EXPECT_FALSE(media.conversion_dir);
  EXPECT_FALSE(fs::exists(scratch / "out"));
  EXPECT_TRUE(recorder.events.empty());
}

TEST(EditorCleanup, DeletesSourcesWithTheirSideFilesAndReportsFailures) {
  ScopedTempDir scratch;
  write_text_file(scratch / "a.mkv", "a");
  write_text_file(scratch / "a.mkv.handles.json", "{}");
  // A folder that is not empty cannot be deleted as a file.
  write_text_file(scratch / "b.mkv" / "inside.txt", "b");
  write_text_file(scratch / "b.mkv.handles.json", "{}");
  write_text_file(scratch / "c.mkv", "c");

  Recorder recorder;
  cleanup_originals_after_success({path_to_utf8(scratch / "a.mkv"), path_to_utf8(scratch / "b.mkv"),
                                   path_to_utf8(scratch / "c.mkv")},
                                  recorder.log());

  ASSERT_EQ(recorder.logs().size(), 2u);
  EXPECT_EQ(recorder.logs()[0].rfind("Konnte Originaldatei nicht löschen: b.mkv (", 0), 0u)
      << recorder.logs()[0];
  EXPECT_EQ(recorder.logs()[0].back(), ')');
  EXPECT_EQ(recorder.logs()[1], "Originaldateien nach erfolgreichem Export entfernt: 2");
  EXPECT_FALSE(fs::exists(scratch / "a.mkv"));
  EXPECT_FALSE(fs::exists(scratch / "a.mkv.handles.json"));
  EXPECT_TRUE(fs::exists(scratch / "b.mkv.handles.json"));
  EXPECT_FALSE(fs::exists(scratch / "c.mkv"));
}

TEST(EditorCleanup, ASourceAlreadyGoneStillLosesItsSideFileUncounted) {
  ScopedTempDir scratch;
  write_text_file(scratch / "gone.mkv.handles.json", "{}");
  Recorder recorder;
  cleanup_originals_after_success({path_to_utf8(scratch / "gone.mkv")}, recorder.log());
  EXPECT_FALSE(fs::exists(scratch / "gone.mkv.handles.json"));
  EXPECT_TRUE(recorder.events.empty());
}

TEST(EditorCopyFailures, BothRunsFailingQuoteTheEncodeAndLeaveNoCopy) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  write_text_file(scratch / "take.mkv", "not really video");
  StandInTools tools;
  // Both runs write output first; the encode's error output is long.
  tools.script("ffmpeg", R"(for last; do :; done
echo partial > "$last"
case "$*" in
  *libx264*) i=0; while [ $i -lt 80 ]; do printf 'Kodierfehler %02d: nichts geht mehr\n' $i >&2; i=$((i+1)); done ;;
  *) echo 'copy failed' >&2 ;;
esac
exit 1)");
  std::string encode_error;
  for (int i = 0; i < 80; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "Kodierfehler %02d: nichts geht mehr\n", i);
    encode_error += line;
  }

  Recorder recorder;
  try {
    prepare_for_premiere({scratch / "take.mkv"}, scratch / "out", recorder);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& failure) {
    EXPECT_EQ(std::string(failure.what()),
              "Premiere: MP4 konnte nicht erstellt werden:\n" + utf8_tail(encode_error, 900));
  }
  const std::vector<std::string> expected_logs = {
      "Premiere: bereite MP4 vor: take.mkv",
      "Premiere: direktes MP4-Remux fehlgeschlagen – enkodiere H.264 ..."};
  EXPECT_EQ(recorder.logs(), expected_logs);
  EXPECT_TRUE(names_in(scratch / "out" / FOLDER).empty());
  EXPECT_TRUE(fs::exists(scratch / "take.mkv"));
}

TEST(EditorCopyMedia, AnInterruptedConversionIsNeverTakenForACopy) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  make_clip(scratch / "take.mkv", 0.5);
  {
    // FFmpeg killed halfway through writing, as when the backend is ended during a run.
    StandInTools tools;
    tools.script("ffmpeg", "for last; do :; done\necho partial > \"$last\"\nkill -9 $$");
    Recorder recorder;
    EXPECT_THROW(prepare_for_premiere({scratch / "take.mkv"}, scratch / "out", recorder),
                 std::runtime_error);
    EXPECT_TRUE(names_in(scratch / "out" / FOLDER).empty());
  }

  Recorder recorder;
  const EditorMedia media = prepare_for_premiere({scratch / "take.mkv"}, scratch / "out", recorder);
  const fs::path copy = scratch / "out" / FOLDER / "take_premiere.mp4";
  ASSERT_EQ(media.prepared, std::vector<std::string>{path_to_utf8(copy)});
  EXPECT_EQ(media.original_files_to_delete,
            std::vector<std::string>{path_to_utf8(scratch / "take.mkv")});
  EXPECT_EQ(media.conversion_dir, path_to_utf8(scratch / "out" / FOLDER));
  EXPECT_EQ(preparation_lines(recorder),
            std::vector<std::string>{"Premiere: bereite MP4 vor: take.mkv"});
  const Json probed = probe(copy);
  EXPECT_EQ(streams_of(probed, "video").at(0)["codec_name"], "h264");
  EXPECT_EQ(streams_of(probed, "audio").at(0)["codec_name"], "aac");
  EXPECT_NEAR(probed_duration(copy), probed_duration(scratch / "take.mkv"), 0.05);
}

TEST(EditorCopyMedia, CopiesStandOnlyForTheirOwnUnchangedSource) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  ScopedTempDir scratch;
  const fs::path out = scratch / "out";
  const fs::path folder = out / FOLDER;
  make_clip(scratch / "a" / "take.mkv", 0.5);
  make_clip(scratch / "b" / "take.mkv", 1.0);

  // Two takes of one name in different folders get copies of their own.
  Recorder first;
  EditorMedia media =
      prepare_for_premiere({scratch / "a" / "take.mkv", scratch / "b" / "take.mkv"}, out, first);
  const std::vector<std::string> copies = {path_to_utf8(folder / "take_premiere.mp4"),
                                           path_to_utf8(folder / "take_premiere_2.mp4")};
  ASSERT_EQ(media.prepared, copies);
  EXPECT_EQ(media.original_files_to_delete.size(), 2u);
  EXPECT_EQ(preparation_lines(first).size(), 2u);
  EXPECT_NEAR(probed_duration(folder / "take_premiere.mp4"), 0.5, 0.05);
  EXPECT_NEAR(probed_duration(folder / "take_premiere_2.mp4"), 1.0, 0.05);

  {
    // The b take alone reuses its own copy, not the a take's copy of the same stem.
    StandInTools tools;
    tools.script("ffmpeg", "exit 1");
    Recorder again;
    media = prepare_for_premiere({scratch / "b" / "take.mkv"}, out, again);
    EXPECT_EQ(media.prepared, std::vector<std::string>{copies[1]});
    EXPECT_TRUE(again.events.empty());
  }

  // A third take of the name neither reuses nor overwrites the copies of the others.
  make_clip(scratch / "c" / "take.mkv", 0.7);
  Recorder third;
  media = prepare_for_premiere({scratch / "c" / "take.mkv"}, out, third);
  EXPECT_EQ(media.prepared, std::vector<std::string>{path_to_utf8(folder / "take_premiere_3.mp4")});
  EXPECT_NEAR(probed_duration(folder / "take_premiere_3.mp4"), 0.7, 0.05);
  EXPECT_NEAR(probed_duration(folder / "take_premiere.mp4"), 0.5, 0.05);

  // A source changed after its copy was made gets a new copy under the same name.
  make_clip(scratch / "a" / "take.mkv", 1.5);
  Recorder changed;
  media = prepare_for_premiere({scratch / "a" / "take.mkv"}, out, changed);
  EXPECT_EQ(media.prepared, std::vector<std::string>{copies[0]});
  EXPECT_EQ(preparation_lines(changed).size(), 1u);
  EXPECT_NEAR(probed_duration(folder / "take_premiere.mp4"), 1.5, 0.05);

  // So does a copy older than its source.
  fs::last_write_time(folder / "take_premiere_2.mp4",
                      fs::last_write_time(scratch / "b" / "take.mkv") - std::chrono::hours(1));
  Recorder older;
  media = prepare_for_premiere({scratch / "b" / "take.mkv"}, out, older);
  EXPECT_EQ(preparation_lines(older).size(), 1u);
}

TEST(EditorCopyMedia, AFailedStreamCopyFallsBackToTheEncode) {
  ScopedTempDir scratch;
  // FFV1 video cannot go into MP4 as it is.
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=30", "-t", "0.3", "-c:v", "ffv1",
              path_to_utf8(scratch / "raw.mkv")});
  Recorder recorder;
  SdrConversionQuery conversion;
  const std::string copy = make_editor_safe_mp4(
      path_to_utf8(scratch / "raw.mkv"), path_to_utf8(scratch / "out" / "raw_premiere.mp4"),
      export_cfg(path_to_utf8(scratch / "out")), recorder.log(), conversion, "Premiere");
  EXPECT_EQ(copy, path_to_utf8(scratch / "out" / "raw_premiere.mp4"));
  const std::vector<std::string> expected_logs = {
      "Premiere: bereite MP4 vor: raw.mkv",
      "Premiere: direktes MP4-Remux fehlgeschlagen – enkodiere H.264 ..."};
  EXPECT_EQ(recorder.logs(), expected_logs);
  const Json video = streams_of(probe(copy), "video").at(0);
  EXPECT_EQ(video["codec_name"], "h264");
  EXPECT_EQ(video["width"], 1080);
  EXPECT_EQ(video["height"], 1920);
  EXPECT_EQ(video["r_frame_rate"], "60/1");
}

// An HLG picture is not copied as it is but encoded as BT.709 SDR that says so; an anamorphic one
// is copied with its sample aspect, so editors show it as it is shown.
TEST(EditorCopyMedia, AnHdrSourceBecomesBt709AndAnAnamorphicOneKeepsItsAspect) {
  ScopedTempDir scratch;
  make_hdr_recording(scratch / "telefon.mkv", "arib-std-b67", 0.3, 0);
  make_anamorphic_recording(scratch / "kamera.mkv", 0.3);
  Recorder recorder;
  const EditorMedia media = prepare_for_premiere({scratch / "telefon.mkv", scratch / "kamera.mkv"},
                                                 scratch / "out", recorder);
  ASSERT_EQ(media.prepared.size(), 2u);
  const std::vector<std::string> expected = {
      "Premiere: bereite MP4 vor: telefon.mkv",
      "Premiere: HDR-Aufnahme – enkodiere H.264 in SDR (BT.709) ...",
      "Premiere: bereite MP4 vor: kamera.mkv"};
  EXPECT_EQ(preparation_lines(recorder), expected);
  const Json converted = streams_of(probe(media.prepared[0]), "video").at(0);
  EXPECT_EQ(converted["codec_name"], "h264");
  EXPECT_EQ(converted["pix_fmt"], "yuv420p");
  EXPECT_EQ(converted["color_primaries"], "bt709");
  EXPECT_EQ(converted["color_transfer"], "bt709");
  EXPECT_EQ(converted["color_space"], "bt709");
  EXPECT_NEAR(centre_luma(media.prepared[0]), TEST_GREY_LUMA, 3.0);
  EXPECT_EQ(streams_of(probe(media.prepared[1]), "video").at(0)["sample_aspect_ratio"], "4:3");
}

// The filters FFmpeg offers do not change within a job: several HDR copies ask it once.
TEST(EditorCopyMedia, SeveralHdrSourcesAskForTheFiltersOnce) {
  SKIP_ON_WINDOWS("the counting stand-in needs a POSIX shell");
  ScopedTempDir scratch;
  make_hdr_recording(scratch / "a.mkv", "arib-std-b67", 0.2, 0);
  make_hdr_recording(scratch / "b.mkv", "smpte2084", 0.2, 0);
  Recorder recorder;
  std::string calls;
  {
    StandInTools tools;
    tools.script("ffmpeg", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                               real_program("ffmpeg") + "' \"$@\"");
    const EditorMedia media =
        prepare_for_premiere({scratch / "a.mkv", scratch / "b.mkv"}, scratch / "out", recorder);
    ASSERT_EQ(media.prepared.size(), 2u);
    calls = tools.calls();
  }
  const std::vector<std::string> lines = sorted_lines(calls);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "-hide_banner -filters"), 1) << calls;
}
