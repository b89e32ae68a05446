#include "capcut/draft_normalize.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>

#include "capcut/test_clips.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

const Json PORTRAIT = {{"resolution", "Hochformat 1080x1920"}};
const Json LANDSCAPE = {{"resolution", "Querformat 1920x1080"}};
const std::vector<std::string> NO_CLIPS;

std::vector<std::string> keys_of(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it)
    keys.push_back(it.key());
  return keys;
}

bool is_upper_uuid(const std::string& id) {
  static const std::regex form(
      "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  return std::regex_match(id, form);
}

}  // namespace

TEST(FindFirstVideoTrack, PrefersVideoThenAnyTrackWithSegments) {
  const struct {
    const char* draft;
    const char* expected_name;  // the `name` of the track expected, null for none
  } cases[] = {
      {R"({})", nullptr},
      {R"({"tracks": []})", nullptr},
      {R"({"tracks": "none"})", nullptr},
      {R"({"tracks": [1, "video", {"type": "text"}]})", nullptr},
      {R"({"tracks": [{"name": "a", "type": "audio", "segments": []},
                      {"name": "v", "type": "video"}]})",
       "v"},
      {R"({"tracks": [{"name": "t", "type": "text"},
                      {"name": "a", "type": "audio", "segments": null}]})",
       "a"},
      {R"({"tracks": [{"name": "x", "type": ["video"], "segments": 0},
                      {"name": "y", "type": "Video"}]})",
       "x"},
      {R"({"tracks": {"first": {"name": "a", "type": "audio", "segments": []},
                      "second": {"name": "v", "type": "video"}}})",
       "v"},
  };
  for (const auto& c : cases) {
    Json draft = parse_json(c.draft);
    Json* track = find_first_video_track(draft);
    if (!c.expected_name) {
      EXPECT_EQ(track, nullptr) << c.draft;
      continue;
    }
    ASSERT_NE(track, nullptr) << c.draft;
    EXPECT_EQ((*track)["name"], c.expected_name) << c.draft;
    (*track)["marked"] = true;  // the track inside the draft, not a copy
    EXPECT_NE(json_line_text(draft).find("\"marked\""), std::string::npos);
  }
}

TEST(NormalizeCapcutDraft, AddsWhatIsMissingAtTheEnd) {
  Json draft = parse_json(R"({"name": "n", "canvas_config": {"width": 1080}})");
  const auto [same, total] = normalize_capcut_draft_for_files(draft, NO_CLIPS, PORTRAIT);
  EXPECT_EQ(&same, &draft);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(keys_of(draft),
            (std::vector<std::string>{"name", "canvas_config", "materials", "tracks"}));
  EXPECT_EQ(draft["materials"], parse_json(R"({"videos": []})"));
  ASSERT_EQ(draft["tracks"].size(), 1u);
  const Json& track = draft["tracks"][0];
  // The members of CapCut's own tracks; draft readers refuse a track without its name.
  EXPECT_EQ(keys_of(track), (std::vector<std::string>{"attribute", "flag", "id", "is_default_name",
                                                      "name", "segments", "type"}));
  EXPECT_TRUE(is_upper_uuid(track["id"]));
  EXPECT_EQ(track["attribute"], 0);
  EXPECT_EQ(track["flag"], 0);
  EXPECT_EQ(track["is_default_name"], true);
  EXPECT_EQ(track["name"], "");
  EXPECT_EQ(track["type"], "video");
  EXPECT_EQ(track["segments"], Json::array());
}

TEST(NormalizeCapcutDraft, TracksAsAnObject) {
  Json usable = parse_json(R"({"tracks": {"t": {"type": "text"}, "a": {"type": "audio",
      "segments": [{"id": "S"}]}}, "duration": 5})");
  normalize_capcut_draft_for_files(usable, NO_CLIPS, PORTRAIT);
  EXPECT_EQ(usable["tracks"], parse_json(R"({"t": {"type": "text"}, "a": {"type": "video",
      "segments": []}})"));
  EXPECT_EQ(usable["duration"], 0);

  // Without a usable track the object gives way to an array, in the same place.
  Json unusable = parse_json(R"({"tracks": {"t": {"type": "text"}}, "after": 1})");
  normalize_capcut_draft_for_files(unusable, NO_CLIPS, PORTRAIT);
  EXPECT_EQ(keys_of(unusable), (std::vector<std::string>{"tracks", "after", "materials"}));
  ASSERT_TRUE(unusable["tracks"].is_array());
  ASSERT_EQ(unusable["tracks"].size(), 1u);
  EXPECT_EQ(unusable["tracks"][0]["type"], "video");
}

TEST(NormalizeCapcutDraft, AudioMaterialsEmptiedOnlyWhenAList) {
  Json list = parse_json(R"({"materials": {"audios": [{"id": "A"}], "texts": [{"id": "T"}]},
      "tracks": [{"type": "audio", "segments": [{"material_id": "A"}]}, {"type": "video"}]})");
  normalize_capcut_draft_for_files(list, NO_CLIPS, PORTRAIT);
  EXPECT_EQ(list["materials"], parse_json(R"({"audios": [], "texts": [{"id": "T"}],
      "videos": []})"));
  EXPECT_EQ(list["tracks"][0], parse_json(R"({"type": "audio", "segments": [
      {"material_id": "A"}]})"));

  Json object = parse_json(R"({"materials": {"audios": {"kept": true}}, "tracks": []})");
  normalize_capcut_draft_for_files(object, NO_CLIPS, PORTRAIT);
  EXPECT_EQ(object["materials"]["audios"], parse_json(R"({"kept": true})"));
}

TEST(NormalizeCapcutDraft, RejectsBadDraftsBeforeChangingThem) {
  const struct {
    const char* draft;
    Json cfg;
    const char* message;
  } cases[] = {
      {R"({"materials": [], "tracks": []})", PORTRAIT,
       "CapCut-Entwurf: „materials“ ist kein Objekt"},
      {R"({"materials": {"videos": [1]}, "tracks": "x"})", PORTRAIT,
       "CapCut-Entwurf: „tracks“ ist weder Liste noch Objekt"},
      {R"({"tracks": 3})", PORTRAIT, "CapCut-Entwurf: „tracks“ ist weder Liste noch Objekt"},
      {R"([{"type": "video"}])", PORTRAIT, "CapCut-Entwurf ist kein JSON-Objekt"},
      {R"({"materials": {"videos": [1]}, "tracks": []})", Json{{"resolution", "8K"}},
       "Unbekannte Auflösung: 8K"},
  };
  for (const auto& c : cases) {
    Json draft = parse_json(c.draft);
    const Json before = draft;
    try {
      normalize_capcut_draft_for_files(draft, {"/nowhere/a.mp4"}, c.cfg);
      ADD_FAILURE() << "no error for " << c.draft;
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), c.message);
    }
    EXPECT_EQ(draft, before) << c.draft;
  }
}

// Rewrites with real clips: 100, 40 and 130 frames at 40 fps.
class CapcutDraftMedia : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScopedTempDir>("capcut_draft_");
    fs::create_directories(dir_->path() / "sub");
    make_video_clip(*dir_ / "a.mp4", 100);
    make_video_clip(*dir_ / "b.mp4", 40);
    make_video_clip(*dir_ / "c ü.mp4", 130);
    fs::create_symlink(*dir_ / "c ü.mp4", *dir_ / "link.mp4");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  // The clips as they may reach the rewrite, and their absolute forms.
  static std::vector<std::string> clips() {
    return {dir_->text() + "/a.mp4", dir_->text() + "/sub/../b.mp4", dir_->text() + "/link.mp4"};
  }
  static std::vector<std::string> absolute_clips() {
    const std::string base = path_to_utf8(fs::canonical(dir_->path()));
    return {base + "/a.mp4", base + "/b.mp4", base + "/c ü.mp4"};
  }

  static std::unique_ptr<ScopedTempDir> dir_;
};

std::unique_ptr<ScopedTempDir> CapcutDraftMedia::dir_;

TEST_F(CapcutDraftMedia, ClipsFollowEachOtherWithTheirTrueDurations) {
  Json draft = parse_json(R"({
    "id": "DRAFT", "duration": 99, "canvas_config": {"width": 1080, "height": 1920},
    "materials": {"videos": [{"id": "M1"}, {"id": "M2"}, {"id": "M3"}, {"id": "M4"}, {"id": "M5"}],
                  "texts": [{"id": "T1"}]},
    "tracks": [
      {"id": "AUDIO", "type": "audio", "segments": [{"id": "AS"}]},
      {"id": "MAIN", "type": "video", "attribute": 0, "segments": [{"id": "S1"}, {"id": "S2"},
          {"id": "S3"}, {"id": "S4"}, {"id": "S5"}]},
      {"id": "SECOND", "type": "video", "segments": [{"id": "S6", "material_id": "M1"}]}],
    "draft_duration": 7, "extra": {"kept": [1.5]}})");
  Json expected_rest = draft;
  const auto [same, total] = normalize_capcut_draft_for_files(draft, clips(), LANDSCAPE);
  EXPECT_EQ(total, 6750000);
  EXPECT_EQ(draft["duration"], 6750000);
  EXPECT_EQ(draft["draft_duration"], 6750000);

  const long long durations[] = {2500000, 1000000, 3250000};
  const long long starts[] = {0, 2500000, 3500000};
  const char* names[] = {"a.mp4", "b.mp4", "c ü.mp4"};
  const Json& videos = draft["materials"]["videos"];
  const Json& segments = draft["tracks"][1]["segments"];
  ASSERT_EQ(videos.size(), 3u);
  ASSERT_EQ(segments.size(), 3u);
  std::set<std::string> ids;
  for (size_t i = 0; i < 3; ++i) {
    const Json& material = videos[i];
    EXPECT_EQ(keys_of(material),
              (std::vector<std::string>{"id", "type", "name", "path", "duration", "width", "height",
                                        "source", "material_name", "create_time",
                                        "extra_type_option", "has_audio"}));
    EXPECT_EQ(material["type"], "video");
    EXPECT_EQ(material["name"], names[i]);
    EXPECT_EQ(material["material_name"], names[i]);
    EXPECT_EQ(material["path"], absolute_clips()[i]);
    EXPECT_EQ(material["duration"], durations[i]);
    EXPECT_EQ(material["width"], 1920);
    EXPECT_EQ(material["height"], 1080);
    EXPECT_TRUE(material["create_time"].is_number_integer());
    EXPECT_EQ(material["has_audio"], true);

    const Json& segment = segments[i];
    EXPECT_EQ(keys_of(segment),
              (std::vector<std::string>{"id", "material_id", "render_index", "source_timerange",
                                        "target_timerange", "visible", "volume", "speed", "clip"}));
    EXPECT_EQ(segment["material_id"], material["id"]);
    EXPECT_EQ(segment["render_index"], i);
    EXPECT_EQ(json_line_text(segment["source_timerange"]),
              "{\"start\": 0, \"duration\": " + std::to_string(durations[i]) + "}");
    EXPECT_EQ(json_line_text(segment["target_timerange"]),
              "{\"start\": " + std::to_string(starts[i]) +
                  ", \"duration\": " + std::to_string(durations[i]) + "}");
    EXPECT_EQ(json_line_text(segment["clip"]),
              R"({"alpha": 1.0, "flip": {"horizontal": false, "vertical": false}, )"
              R"("rotation": 0.0, "scale": {"x": 1.0, "y": 1.0}, "transform": {"x": 0.0, )"
              R"("y": 0.0}})");
    EXPECT_EQ(json_line_text(segment["volume"]) + json_line_text(segment["speed"]), "1.01.0");
    ids.insert(material["id"].get<std::string>());
    ids.insert(segment["id"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), 6u);
  for (const std::string& id : ids)
    EXPECT_TRUE(is_upper_uuid(id)) << id;

  // Everything but the first video track and the video materials stays as read.
  expected_rest["duration"] = 6750000;
  expected_rest["draft_duration"] = 6750000;
  expected_rest["materials"]["videos"] = videos;
  expected_rest["tracks"][1]["segments"] = segments;
  EXPECT_EQ(json_file_text(draft), json_file_text(expected_rest));
}

TEST_F(CapcutDraftMedia, EveryRewriteMakesNewIdentifiers) {
  Json draft = parse_json(R"({"materials": {}})");
  normalize_capcut_draft_for_files(draft, clips(), PORTRAIT);
  std::set<std::string> first = {draft["tracks"][0]["id"].get<std::string>()};
  for (const Json& material : draft["materials"]["videos"])
    first.insert(material["id"].get<std::string>());
  for (const Json& segment : draft["tracks"][0]["segments"])
    first.insert(segment["id"].get<std::string>());
  EXPECT_EQ(first.size(), 7u);  // two per clip and one for the new track

  normalize_capcut_draft_for_files(draft, clips(), PORTRAIT);
  ASSERT_EQ(draft["tracks"].size(), 1u);
  EXPECT_EQ(draft["materials"]["videos"].size(), 3u);
  for (const Json& material : draft["materials"]["videos"]) {
    EXPECT_EQ(first.count(material["id"].get<std::string>()), 0u);
    EXPECT_EQ(material["width"], 1080);
  }
  for (const Json& segment : draft["tracks"][0]["segments"])
    EXPECT_EQ(first.count(segment["id"].get<std::string>()), 0u);
}

TEST_F(CapcutDraftMedia, UnreadableClipEndsTheRewrite) {
  Json draft = parse_json(R"({"tracks": []})");
  std::vector<std::string> files = clips();
  files.insert(files.begin() + 1, dir_->text() + "/missing.mp4");
  try {
    normalize_capcut_draft_for_files(draft, files, PORTRAIT);
    FAIL() << "no error";
  } catch (const std::runtime_error& failure) {
    EXPECT_NE(std::string(failure.what()).find("missing.mp4"), std::string::npos) << failure.what();
  }
}
