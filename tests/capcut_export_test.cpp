#include <gtest/gtest.h>

#include "backend_process.h"
#include "capcut/project_export.h"
#include "capcut/test_clips.h"
#include "settings/path_text.h"
#include "support/test_util.h"

// A "capcut" export over the protocol: the real binary, its template beside it, a scratch home.
TEST(CapcutProtocolMedia, ExportCreatesARegisteredProjectOfTheMasterList) {
  ScopedTempDir home("capcut_protocol_");
  fs::create_directories(home / "Desktop");
  make_video_clip(home / "a.mp4", 100);
  make_video_clip(home / "b.mp4", 40);

  BackendProcess backend(home.text());
  ASSERT_EQ(event_name(backend.read_line().value_or("{}")), "ready");
  backend.send("add_master_files",
               Json{{"paths", {home.text() + "/a.mp4", home.text() + "/b.mp4"}}});
  backend.read_until("state");
  backend.send("start_export", Json{{"mode", "capcut"}, {"resolution", "Querformat 1920x1080"}});
  const std::vector<std::string> lines = backend.read_until("notify");

  const Json notify = parse_json(lines.back());
  EXPECT_EQ(notify["title"], "CapCut Projekt fertig");
  const std::string message = notify["message"];
  const std::string prefix = "Gespeichert: ";
  ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
  const fs::path project = path_from_utf8(message.substr(prefix.size()));
  const fs::path projects = capcut_project_dir_for_home(fs::canonical(home.path()));
  EXPECT_EQ(fs::canonical(project.parent_path()), projects);

  std::vector<std::string> logged;
  for (const std::string& line : lines) {
    const Json event = parse_json(line);
    if (event["event"] == "log")
      logged.push_back(event["msg"]);
  }
  const std::string name = path_to_utf8(project.filename());
  EXPECT_EQ(logged,
            (std::vector<std::string>{
                "Starte CAPCUT Export mit 2 Clip(s) ...", "Erstelle CapCut-Projekt: " + name,
                "CapCut-Version des Projekts: 9.4.1 (185.0.0), aus der Vorlage",
                "CapCut: Medienliste aus aktuellen Clips neu erstellt",
                "CapCut Export nutzt die Clips direkt aus der Reihenfolge",
                "CapCut-Projekt erstellt: " + path_to_utf8(project),
                "Fertig: " + path_to_utf8(project)}));

  const Json draft = parse_json(read_text_file(project / "draft_content.json"));
  const Json& segments = draft["tracks"][0]["segments"];
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[1]["target_timerange"],
            parse_json(R"({"start": 2500000, "duration": 1000000})"));
  EXPECT_EQ(draft["materials"]["videos"][0]["width"], 64);  // the clip's own picture
  const Json registry = parse_json(read_text_file(projects / "root_meta_info.json"));
  EXPECT_EQ(registry["tavelmor_projects"][0]["path"], path_to_utf8(project));

  const Json state = parse_json(backend.read_until("state").back());
  EXPECT_EQ(state["busy"], false);
  EXPECT_EQ(backend.close_and_wait(), 0);
}
