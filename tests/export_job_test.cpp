#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "backend_process.h"
#include "export/export_test_support.h"
#include "export/fcpxml_test_support.h"
#include "export/timeline_xml.h"
#include "media/ffmpeg_tools.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

// The real binary with a scratch home folder that has a Desktop, driven through start_export.
class ExportProtocol : public ::testing::Test {
 protected:
  ExportProtocol() { fs::create_directories(home / "Desktop"); }

  void start() {
    backend = std::make_unique<BackendProcess>(home.text());
    ASSERT_EQ(event_name(backend->read_line().value_or("{}")), "ready");
  }

  Json next() {
    const auto line = backend->read_line(std::chrono::seconds(60));
    return line ? parse_json(*line) : Json{{"event", "<no line>"}};
  }

  // Events up to and including the first one that `last` accepts.
  std::vector<Json> events_until(const std::function<bool(const Json&)>& last) {
    std::vector<Json> events;
    while (true) {
      events.push_back(next());
      if (events.back()["event"] == "<no line>" || last(events.back()))
        return events;
    }
  }

  std::vector<Json> events_until_event(const std::string& name) {
    return events_until([&](const Json& event) { return event["event"] == name; });
  }

  void add_master(const std::vector<fs::path>& files) {
    Json paths = Json::array();
    for (const fs::path& file : files)
      paths.push_back(path_to_utf8(file));
    backend->send("add_master_files", Json{{"paths", paths}});
    events_until_event("state");
  }

  fs::path cfg_file() const { return home / ".pindrale_config.json"; }

  ScopedTempDir home{"tavelmor_export_protocol_"};
  std::unique_ptr<BackendProcess> backend;
};

Json notify(const std::string& title, const std::string& message) {
  return Json{{"event", "notify"}, {"title", title}, {"message", message}};
}

Json progress(double pct, const std::string& status) {
  return Json{{"event", "progress"}, {"panel", "master"}, {"pct", pct}, {"status", status}};
}

Json log_event(const std::string& msg, const std::string& level = "info") {
  return Json{{"event", "log"}, {"panel", "master"}, {"msg", msg}, {"level", level}};
}

// The events without the state snapshots, which are checked apart.
std::vector<Json> without_states(const std::vector<Json>& events) {
  std::vector<Json> kept;
  for (const Json& event : events) {
    if (event["event"] != "state")
      kept.push_back(event);
  }
  return kept;
}

// The same with real FFmpeg runs.
class ExportProtocolMedia : public ExportProtocol {};

}  // namespace

TEST_F(ExportProtocol, RefusalsNameTheReasonAndChangeNothing) {
  start();
  backend->send("start_export", Json{{"mode", "mp4"}});
  EXPECT_EQ(next(), notify("Hinweis", "Bitte zuerst Videos hinzufügen."));
  EXPECT_TRUE(backend->no_more_lines());

  for (const char* name : {"clip.mp4", "one.wav", "two.MP3", "three.flac", "four.ogg"})
    write_text_file(home / name, "x");
  add_master({home / "clip.mp4", home / "one.wav", home / "two.MP3", home / "three.flac",
              home / "four.ogg"});
  backend->send("start_export", Json{{"mode", "capcut"}, {"output_folder", "/nowhere"}});
  EXPECT_EQ(next(), notify("Hinweis",
                           "Dieser Export braucht Videos. In der Liste sind Tondateien (one.wav, "
                           "two.MP3, three.flac …). Tondateien bitte mit „An Editor senden“ "
                           "weiterverarbeiten."));
  EXPECT_TRUE(backend->no_more_lines());

  backend->send("remove_master_index", Json{{"idx", 4}});
  events_until_event("state");
  backend->send("start_export");
  EXPECT_EQ(next(), notify("Hinweis",
                           "Dieser Export braucht Videos. In der Liste sind Tondateien (one.wav, "
                           "two.MP3, three.flac). Tondateien bitte mit „An Editor senden“ "
                           "weiterverarbeiten."));
  EXPECT_TRUE(backend->no_more_lines());
  EXPECT_FALSE(fs::exists(cfg_file()));
}

TEST_F(ExportProtocol, AModeThatIsNoTextIsRefusedBeforeTheJobStarts) {
  write_text_file(home / "clip.mp4", "x");
  start();
  add_master({home / "clip.mp4"});
  for (const char* mode : {"null", "5", "[\"xml\"]"}) {
    backend->send_line(std::string(R"({"cmd": "start_export", "payload": {"mode": )") + mode +
                       "}}");
    EXPECT_EQ(next(), (Json{{"event", "error"},
                            {"message", std::string("Ungültiger Exportmodus: ") + mode}}));
    backend->send("get_state");
    EXPECT_EQ(next()["busy"], false);
  }
  EXPECT_FALSE(fs::exists(cfg_file()));
}

TEST_F(ExportProtocol, ABusyBackendRefusesAndAFailedExportEndsTheJob) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  // ffprobe takes its time and then fails, so the export runs for a second.
  StandInTools tools;
  tools.script("ffprobe", "sleep 1\necho 'Datei kaputt' >&2\nexit 1");
  const std::string text = "ffprobe konnte die Videolänge nicht lesen: clip.mp4\nDatei kaputt\n";
  write_text_file(home / "clip.mp4", "x");
  const fs::path out = home / "out";
  start();
  add_master({home / "clip.mp4"});

  backend->send("start_export",
                Json{{"mode", "xml"}, {"output_folder", path_to_utf8(out)}, {"resolution", ""}});
  std::vector<Json> started = events_until_event("state");
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0], progress(0, "Starte XML Export ..."));
  EXPECT_EQ(started[1], log_event("Starte XML Export mit 1 Clip(s) ..."));
  EXPECT_EQ(started[2]["busy"], true);
  EXPECT_EQ(started[2]["cfg"]["output_folder"], path_to_utf8(out));
  EXPECT_EQ(started[2]["cfg"]["resolution"], "Hochformat 1080x1920");

  backend->send("start_export", Json{{"mode", "mp4"}});
  const std::vector<Json> refused = events_until_event("notify");
  EXPECT_EQ(refused.back(), notify("Hinweis", "Bitte warten, es läuft bereits ein Prozess."));

  const std::vector<Json> finished = events_until_event("state");
  EXPECT_EQ(finished.back()["busy"], false);
  std::vector<Json> job = without_states(refused);
  job.pop_back();
  for (const Json& event : without_states(finished))
    job.push_back(event);
  const std::vector<Json> expected = {
      log_event("DaVinci Export: nutze Clips direkt aus der Reihenfolge"),
      log_event("Analysiere Clips ..."),
      progress(5, "Analysiere Clips ..."),
      log_event("[1/1] clip.mp4"),
      progress(0, "Clip 1/1 wird verarbeitet ..."),
      progress(0, "Fehler ✗"),
      log_event("Fehler: " + text, "error"),
      notify("Fehler", text)};
  EXPECT_EQ(job, expected);
  EXPECT_TRUE(backend->no_more_lines());

  const Json saved = parse_json(read_text_file(cfg_file()));
  EXPECT_EQ(saved["output_folder"], path_to_utf8(out));
  EXPECT_NE(read_text_file(home / "Desktop" / "TavelmorStudio_ERROR.txt").find(text),
            std::string::npos);
}

TEST_F(ExportProtocolMedia, XmlAfterACutBatchIntoAFolderNamedLikeACounter) {
  make_recording(home / "take.mp4", {0.4, 0.6, 1.2, 0.4}, false);
  // "[2/0]" in the folder path reaches the counter pattern through "Gespeichert: ".
  const fs::path out = home / "out [2/0]";
  start();
  backend->send("add_cut_files", Json{{"paths", {home.text() + "/take.mp4"}}});
  events_until_event("state");
  backend->send("start_cut", Json{{"output_folder", path_to_utf8(out)}});
  events_until_event("notify");
  backend->send("get_state");
  const Json state = next();
  ASSERT_EQ(state["mas_files"].size(), 1u) << state.dump();
  const std::string cut = state["mas_files"][0];
  const auto handles = get_handles(cut);
  ASSERT_TRUE(handles.has_value());

  backend->send("start_export", Json{{"mode", "xml"}});
  const std::vector<Json> events = events_until(
      [](const Json& event) { return event["event"] == "state" && event["busy"] == false; });
  const fs::path document = out / "davinci_timeline.xml";
  const std::string handle_line =
      "Handle: In=" + fixed_text(handles->c_in, 2) +
      "s Out=" + fixed_text(std::min(handles->c_out, get_duration(cut) - 0.05), 2) + "s";
  const std::vector<Json> expected = {
      progress(0, "Starte XML Export ..."),
      log_event("Starte XML Export mit 1 Clip(s) ..."),
      log_event("DaVinci Export: nutze Clips direkt aus der Reihenfolge"),
      log_event("Analysiere Clips ..."),
      progress(5, "Analysiere Clips ..."),
      log_event("[1/1] " + file_name_of(cut)),
      progress(0, "Clip 1/1 wird verarbeitet ..."),
      log_event(handle_line),
      log_event("Gespeichert: " + path_to_utf8(document)),
      progress(100, "Fertig ✓"),
      log_event("Fertig: " + path_to_utf8(document), "ok"),
      notify("DaVinci XML fertig", "Gespeichert: " + path_to_utf8(document))};
  EXPECT_EQ(without_states(events), expected);

  const std::string doc = read_text_file(document);
  EXPECT_NE(doc.find("<name>take_cut</name>"), std::string::npos);
  EXPECT_NE(doc.find("/out%20%5B2/0%5D/take_cut.mp4</pathurl>"), std::string::npos) << doc;
  EXPECT_NE(doc.find("<out>" +
                     std::to_string(
                         seconds_to_frames(std::min(handles->c_out, get_duration(cut) - 0.05))) +
                     "</out>"),
            std::string::npos);
  expect_well_formed_xml(doc);
}

// The settings of the jump cuts and the loudness come with start_cut, are kept after the eight
// and saved; the clip the cut makes of a take with two pauses has two joins, and the DaVinci
// timeline shows its three spans as three items, each its picture and sound linked.
TEST_F(ExportProtocolMedia, AJumpCutClipFromTheCutGivesOneTimelineItemPerSpan) {
  make_recording(home / "rede.mp4", {0.5, 0.6, 0.5, 0.6, 0.5, 0.4});
  const fs::path out = home / "out";
  start();
  backend->send("set_config", Json{{"silence_duration", 3.0}});
  events_until_event("state");
  backend->send("add_cut_files", Json{{"paths", {path_to_utf8(home / "rede.mp4")}}});
  events_until_event("state");
  backend->send("start_cut", Json{{"output_folder", path_to_utf8(out)},
                                  {"cut_pauses", true},
                                  {"pause_keep", 0.1},
                                  {"loudness_target", -16.0}});
  const std::vector<Json> cut = events_until_event("notify");
  const auto started = std::find_if(cut.begin(), cut.end(), [](const Json& event) {
    return event["event"] == "state" && event["busy"] == true;
  });
  ASSERT_NE(started, cut.end());
  EXPECT_EQ(json_line_text((*started)["cfg"]["cut_pauses"]), "true");
  EXPECT_EQ(parse_json(read_text_file(cfg_file()))["loudness_target"], -16.0);
  EXPECT_TRUE(std::any_of(cut.begin(), cut.end(), [](const Json& event) {
    return event["msg"] == "Jump-Cuts: 2 Pause(n) entfernt, 0.8s gespart";
  }));
  backend->send("get_state");
  const Json state = next();
  ASSERT_EQ(state["mas_files"].size(), 1u) << state.dump();
  EXPECT_EQ(get_duration_and_handles(state["mas_files"][0]).cuts.size(), 2u);

  backend->send("start_export", Json{{"mode", "xml"}});
  events_until(
      [](const Json& event) { return event["event"] == "state" && event["busy"] == false; });
  const std::string doc = read_text_file(out / "davinci_timeline.xml");
  const auto groups = linked_groups(doc);
  EXPECT_EQ(groups.size(), 3u);
  for (const auto& group : groups)
    EXPECT_EQ(group.size(), 2u);
}

TEST_F(ExportProtocolMedia, FcpxmlTakesTheTimelinesStepsAndEndsWithItsOwnNotice) {
  make_clip(home / "a b.mp4", 0.5, true, std::make_pair(0.1, 0.4));
  make_clip(home / "c.mov", 0.3, false);
  start();
  add_master({home / "a b.mp4", home / "c.mov"});
  backend->send("start_export", Json{{"mode", "fcpxml"}});
  const std::vector<Json> events = events_until(
      [](const Json& event) { return event["event"] == "state" && event["busy"] == false; });

  const fs::path document = home / "Desktop" / "finalcut_timeline.fcpxml";
  const std::vector<Json> expected = {
      progress(0, "Starte FCPXML Export ..."),
      log_event("Starte FCPXML Export mit 2 Clip(s) ..."),
      log_event("Final Cut Pro Export: nutze Clips direkt aus der Reihenfolge"),
      log_event("Analysiere Clips ..."),
      progress(5, "Analysiere Clips ..."),
      log_event("[1/2] a b.mp4"),
      progress(0, "Clip 1/2 wird verarbeitet ..."),
      log_event("Handle: In=0.10s Out=0.40s"),
      log_event("[2/2] c.mov"),
      progress(50, "Clip 2/2 wird verarbeitet ..."),
      log_event("Gespeichert: " + path_to_utf8(document)),
      progress(100, "Fertig ✓"),
      log_event("Fertig: " + path_to_utf8(document), "ok"),
      notify("Final Cut Pro XML fertig", "Gespeichert: " + path_to_utf8(document))};
  EXPECT_EQ(without_states(events), expected);
  expect_valid_fcpxml(read_text_file(document));
}

// Each clip's step comes when the master's run reaches that clip, in list order; what the runs
// report moves the bar within the step it belongs to, short of the next one.
TEST_F(ExportProtocolMedia, TheMastersStepsComeInOrderAndItsRunsMoveWithinThem) {
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
    make_clip(home / name, 0.4, name[0] != 'b');
  start();
  add_master({home / "a.mp4", home / "b.mp4", home / "c.mp4"});
  backend->send("start_export", Json{{"mode", "mp4"}});
  const std::vector<Json> events = events_until_event("notify");

  std::vector<Json> steps;
  for (const Json& event : without_run_progress(events)) {
    if (event["event"] == "progress")
      steps.push_back(event);
  }
  EXPECT_EQ(steps,
            (std::vector<Json>{
                progress(0, "Starte MP4 Export ..."), progress(0, "Clip 1/3 wird verarbeitet ..."),
                progress(33, "Clip 2/3 wird verarbeitet ..."),
                progress(66, "Clip 3/3 wird verarbeitet ..."),
                progress(90, "Clips zusammenfügen ..."), progress(100, "Fertig ✓")}));
  for (size_t i = 0; i < events.size(); ++i) {
    if (!is_run_progress(events, i))
      continue;
    const auto next_step =
        std::find_if(steps.begin(), steps.end(),
                     [&](const Json& step) { return step["status"] == events[i]["status"]; }) +
        1;
    ASSERT_NE(next_step, steps.end());
    EXPECT_LT(events[i]["pct"], (*next_step)["pct"]) << events[i];
  }
}

TEST_F(ExportProtocolMedia, Mp4WithoutPayloadThenPremiereOfAnMkv) {
  make_clip(home / "take.mkv", 0.5);
  start();
  add_master({home / "take.mkv"});

  backend->send("start_export");
  std::vector<Json> events = events_until_event("notify");
  const fs::path master = home / "Desktop" / "master_video.mp4";
  EXPECT_EQ(events.back(), notify("MP4 fertig", "Gespeichert: " + path_to_utf8(master)));
  EXPECT_EQ(events.front(), progress(0, "Starte MP4 Export ..."));
  EXPECT_NE(std::find(events.begin(), events.end(), progress(90, "Clips zusammenfügen ...")),
            events.end());
  EXPECT_EQ(events_until_event("state").back()["busy"], false);
  EXPECT_TRUE(fs::exists(cfg_file()));
  EXPECT_EQ(streams_of(probe(master), "audio").size(), 1u);

  backend->send("start_export", Json{{"mode", "premiere"}});
  events = events_until_event("notify");
  const fs::path document = home / "Desktop" / "premiere_timeline.xml";
  EXPECT_EQ(events.back(), notify("Premiere XML fertig", "Gespeichert: " + path_to_utf8(document)));
  EXPECT_NE(std::find(events.begin(), events.end(),
                      log_event("Originaldateien nach erfolgreichem Export entfernt: 1")),
            events.end());
  EXPECT_EQ(events_until_event("state").back()["busy"], false);
  EXPECT_FALSE(fs::exists(home / "take.mkv"));
  EXPECT_TRUE(fs::exists(home / "Desktop" / "Premiere_Pro_Cut_Videos" / "take_premiere.mp4"));
  // The master list keeps naming the deleted source.
  backend->send("get_state");
  EXPECT_EQ(next()["mas_files"], Json::array({path_to_utf8(home / "take.mkv")}));
}
