#include "export/export_job.h"

#include <gtest/gtest.h>

#include "capcut/project_export.h"
#include "export/davinci_timeline.h"
#include "export/export_messages.h"
#include "export/export_test_support.h"
#include "export/finalcut_timeline.h"
#include "export/master_mp4.h"
#include "export/premiere_timeline.h"
#include "media/loudness.h"

TEST(ExportProgressForMessage, CountersAreComputedDividingFirst) {
  const std::tuple<const char*, double, const char*> cases[] = {
      {"[30/100] a.mp4", 28, "Clip 30/100 wird verarbeitet ..."},
      {"[2/3] intro_cut.mp4", 33, "Clip 2/3 wird verarbeitet ..."},
      {"[1/7] a.mp4", 0, "Clip 1/7 wird verarbeitet ..."},
      {"[5/5] a.mp4", 80, "Clip 5/5 wird verarbeitet ..."},
      {"Text [3/4] mitten drin", 50, "Clip 3/4 wird verarbeitet ..."},
      {"[1/2] concat.mp4", 0, "Clip 1/2 wird verarbeitet ..."},
      {"[3/4] zuerst, dann [1/4]", 50, "Clip 3/4 wird verarbeitet ..."},
      {"[007/010] a.mp4", 60, "Clip 7/10 wird verarbeitet ..."},
      {"[0/5] a.mp4", 0, "Clip 0/5 wird verarbeitet ..."},
      {"[250/100] a.mp4", 100, "Clip 250/100 wird verarbeitet ..."},
      {"[99999999999999999999999/1]", 100, "Clip 99999999999999999999999/1 wird verarbeitet ..."},
  };
  for (const auto& [msg, pct, status] : cases) {
    const auto step = progress_for_message(msg);
    ASSERT_TRUE(step.has_value()) << msg;
    EXPECT_EQ(step->pct, pct) << msg;
    EXPECT_EQ(step->status, status) << msg;
  }
  // Numbers beyond any double still give a percentage within bounds.
  const std::string huge(400, '9');
  for (const std::string& msg : {"[" + huge + "/" + huge + "]", "[1/" + huge + "]"}) {
    const auto step = progress_for_message(msg);
    ASSERT_TRUE(step.has_value());
    EXPECT_EQ(step->pct, 0);
  }
  EXPECT_EQ(progress_for_message("[" + huge + "/3]")->pct, 100);
}

TEST(ExportProgressForMessage, KeywordsInAnyLetterCase) {
  const std::tuple<const char*, double, const char*> cases[] = {
      {"Füge Clips zusammen ...", 90, "Clips zusammenfügen ..."},
      {"Gespeichert: /Users/x/FÜGE/master_video.mp4", 90, "Clips zusammenfügen ..."},
      {"Gespeichert: /tmp/CONCAT/davinci_timeline.xml", 90, "Clips zusammenfügen ..."},
      {"Analysiere Clips ...", 5, "Analysiere Clips ..."},
      {"Analysiere Clips für Premiere ...", 5, "Analysiere Clips ..."},
      {"Gespeichert: /ANALYSIERE/x.xml", 5, "Analysiere Clips ..."},
      {"analysiere und füge", 90, "Clips zusammenfügen ..."},
  };
  for (const auto& [msg, pct, status] : cases) {
    const auto step = progress_for_message(msg);
    ASSERT_TRUE(step.has_value()) << msg;
    EXPECT_EQ(step->pct, pct) << msg;
    EXPECT_EQ(step->status, status) << msg;
  }
}

TEST(ExportProgressForMessage, OtherMessagesAndZeroTotalsMoveNothing) {
  const std::string loudness = loudness_message(-23.4, -14.0);
  const std::string no_loudness = loudness_message(std::nullopt, -14.0);
  for (const char* msg : {"Master-Export wird als MP4 erstellt.", "Handle: 0.00s – 12.34s",
                          "[a/3] x", "[1/] x", loudness.c_str(), no_loudness.c_str(), "[1 /2] x",
                          "[1/0] x", "Gespeichert: /out [0/0]/x", "fuge ohne Umlaut", ""}) {
    EXPECT_FALSE(progress_for_message(msg).has_value()) << msg;
  }
  // A zero total is no counter, but the keywords still count.
  const auto step = progress_for_message("Gespeichert: /out [3/0]/concat.mp4");
  ASSERT_TRUE(step.has_value());
  EXPECT_EQ(step->pct, 90);
}

// The messages as the exporters write them: a change of wording that loses its step fails here.
TEST(ExportProgressForMessage, EachMessageOfTheExportersGivesItsStep) {
  const std::pair<std::string, double> messages[] = {
      {ANALYSING_CLIPS, 5},
      {ANALYSING_CLIPS_FOR_PREMIERE, 5},
      {clip_counter_message(3, 4, "a.mp4"), 50},
      {JOINING_CLIPS, 90},
  };
  for (const auto& [message, pct] : messages) {
    const auto step = progress_for_message(message);
    ASSERT_TRUE(step.has_value()) << message;
    EXPECT_EQ(step->pct, pct) << message;
  }
}

TEST(ExportModeFor, ModeTableAndTitles) {
  struct Case {
    const char* mode;
    Exporter exporter;
    const char* label;
    const char* title;
  };
  const Case cases[] = {
      {"capcut", run_master_capcut_project, "CAPCUT", "CapCut Projekt fertig"},
      {"premiere", run_master_xml_premiere, "PREMIERE", "Premiere XML fertig"},
      {"mp4", run_master_mp4, "MP4", "MP4 fertig"},
      {"xml", run_master_xml, "XML", "DaVinci XML fertig"},
      {"fcpxml", run_master_fcpxml, "FCPXML", "Final Cut Pro XML fertig"},
      // Unknown modes run the DaVinci export and are titled for what ran.
      {"MP4", run_master_xml, "MP4", "DaVinci XML fertig"},
      {"davinci", run_master_xml, "DAVINCI", "DaVinci XML fertig"},
      {"", run_master_xml, "", "DaVinci XML fertig"},
  };
  for (const Case& c : cases) {
    const ExportMode mode = export_mode_for(c.mode);
    EXPECT_EQ(mode.exporter, c.exporter) << c.mode;
    EXPECT_EQ(mode.label, c.label) << c.mode;
    EXPECT_EQ(mode.title, c.title) << c.mode;
  }
}

// An exporter writes its failure report to the error log of the paths it is given, so a test or
// a backend with a home of its own leaves the user's report alone.
TEST(Exporters, ReportFailuresToTheGivenPaths) {
  ScopedTempDir scratch;
  write_text_file(scratch / "a.mp4", "x");
  const fs::path users_log = fixed_paths().error_log;
  const std::string users_report = read_text_file(users_log);
  const FixedPaths given = fixed_paths_for_home(scratch / "home");
  fs::create_directories(given.desktop);
  for (const char* mode : {"mp4", "xml", "premiere", "fcpxml"}) {
    fs::remove(given.error_log);
    Recorder recorder;
    export_mode_for(mode).exporter({path_to_utf8(scratch / "a.mp4")},
                                   export_cfg(path_to_utf8(scratch / "out"), "8K"), recorder.log(),
                                   recorder.done(), recorder.err(), given, {});
    EXPECT_EQ(recorder.outcome(), "err: Unbekannte Auflösung: 8K") << mode;
    EXPECT_NE(read_text_file(given.error_log).find("Unbekannte Auflösung: 8K"), std::string::npos)
        << mode;
  }
  EXPECT_EQ(read_text_file(users_log), users_report);
}

TEST(AudioFilesRefusal, NamesTheFirstThreeAudioFiles) {
  EXPECT_FALSE(audio_files_refusal({"/a/clip.mp4", "/a/b.MOV", "/a/.wav"}).has_value());
  EXPECT_EQ(audio_files_refusal({"/a/x.mp4", "/a/one.wav", "/b/two.MP3"}),
            "Dieser Export braucht Videos. In der Liste sind Tondateien (one.wav, two.MP3). "
            "Tondateien bitte mit „An Editor senden“ weiterverarbeiten.");
  EXPECT_EQ(audio_files_refusal({"/a/1.wav", "/a/2.m4a", "/a/3.flac"}),
            "Dieser Export braucht Videos. In der Liste sind Tondateien (1.wav, 2.m4a, 3.flac). "
            "Tondateien bitte mit „An Editor senden“ weiterverarbeiten.");
  EXPECT_EQ(audio_files_refusal({"/a/1.wav", "/a/2.m4a", "/a/v.mp4", "/a/3.flac", "/a/4.ogg"}),
            "Dieser Export braucht Videos. In der Liste sind Tondateien (1.wav, 2.m4a, 3.flac …). "
            "Tondateien bitte mit „An Editor senden“ weiterverarbeiten.");
}
