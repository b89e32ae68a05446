#include <gtest/gtest.h>

#include "backend_process.h"
#include "support/test_util.h"

namespace {

// The lines of a bootstrap and the support log after it, with the search path of `stand_ins`.
std::vector<std::string> bootstrap_lines(const ScopedStandIns&) {
  ScopedTempDir home;
  BackendProcess backend(home.text());
  backend.read_line();  // ready
  backend.send("bootstrap");
  std::vector<std::string> lines = backend.read_until("state");
  backend.send("copy_support_log");
  lines.push_back(backend.read_line().value_or(""));
  EXPECT_EQ(backend.close_and_wait(), 0);
  return lines;
}

// A stand-in ffmpeg that tells its version and lists the filters named in `filters`, each in the
// form of "ffmpeg -filters".
std::string ffmpeg_with_filters(const std::string& filters) {
  return "if [ \"$*\" = '-hide_banner -filters' ]; then\n  for f in " + filters +
         "; do echo \" .S. $f    V->V  something\"; done\nelse\n  echo 'ffmpeg version 5.1'\nfi";
}

}  // namespace

TEST(Bootstrap, ReportsFfmpegReadyOnBothPanels) {
  ScopedStandIns stand_ins(true);
  stand_ins.add("ffmpeg", ffmpeg_with_filters("scale colorspace zscale tonemap"));
  const auto lines = bootstrap_lines(stand_ins);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(
      lines[0],
      R"({"event": "log", "panel": "cut", "msg": "FFmpeg gefunden – bereit!", "level": "ok"})");
  EXPECT_EQ(
      lines[1],
      R"({"event": "log", "panel": "master", "msg": "FFmpeg gefunden – bereit!", "level": "ok"})");
  EXPECT_EQ(lines[2], R"({"event": "progress", "panel": "cut", "pct": 100, "status": "Bereit ✓"})");
  EXPECT_EQ(lines[3],
            R"({"event": "progress", "panel": "master", "pct": 100, "status": "Bereit ✓"})");
  EXPECT_EQ(event_name(lines[4]), "state");
  EXPECT_EQ(Json::parse(lines[5])["text"],
            "[cut] FFmpeg gefunden – bereit!\n[master] FFmpeg gefunden – bereit!");
}

TEST(Bootstrap, ReportsFfmpegMissingWithoutProgress) {
  ScopedStandIns stand_ins(true);
  stand_ins.add("ffmpeg", "exit 1");  // present but broken counts as missing
  const auto lines = bootstrap_lines(stand_ins);
  ASSERT_EQ(lines.size(), 4u);
  const std::string missing = "FFmpeg nicht gefunden – bitte installieren und PATH setzen.";
  EXPECT_EQ(Json::parse(lines[0]),
            (Json{{"event", "log"}, {"panel", "cut"}, {"msg", missing}, {"level", "error"}}));
  EXPECT_EQ(Json::parse(lines[1]),
            (Json{{"event", "log"}, {"panel", "master"}, {"msg", missing}, {"level", "error"}}));
  EXPECT_EQ(event_name(lines[2]), "state");
}

// Without zscale (a build without libzimg) or tonemap, HDR recordings are converted to SDR only
// approximately: both panels are told so, between the ready lines and the bars.
TEST(Bootstrap, TellsWhenHdrRecordingsCanOnlyBeApproximated) {
  const std::pair<const char*, const char*> cases[] = {
      {"scale colorspace tonemap", "der Filter zscale (libzimg)"},
      {"scale", "der Filter zscale (libzimg)"},
      {"scale colorspace zscale", "der Filter tonemap"},
  };
  for (const auto& [filters, missing] : cases) {
    ScopedStandIns stand_ins(true);
    stand_ins.add("ffmpeg", ffmpeg_with_filters(filters));
    const auto lines = bootstrap_lines(stand_ins);
    ASSERT_EQ(lines.size(), 8u) << filters;
    const std::string notice = std::string("HDR-Aufnahmen (HLG, PQ): FFmpeg fehlt ") + missing +
                               " – sie werden nur angenähert in SDR (BT.709) umgewandelt.";
    EXPECT_EQ(Json::parse(lines[2]),
              (Json{{"event", "log"}, {"panel", "cut"}, {"msg", notice}, {"level", "info"}}));
    EXPECT_EQ(Json::parse(lines[3]),
              (Json{{"event", "log"}, {"panel", "master"}, {"msg", notice}, {"level", "info"}}));
    EXPECT_EQ(event_name(lines[4]), "progress");
    EXPECT_EQ(event_name(lines[6]), "state");
  }
}
