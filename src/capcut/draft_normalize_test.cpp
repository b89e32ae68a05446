#include "capcut/draft_normalize.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>

#include "capcut/capcut_shapes.h"
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

// The kind of a JSON value as CapCut's readers tell them apart.
std::string kind_of(const Json& value) {
  if (value.is_boolean())
    return value.get<bool>() ? "true" : "false";
  if (value.is_number_float())
    return "float";
  if (value.is_number_integer())
    return "integer";
  if (value.is_string())
    return "text";
  if (value.is_null())
    return "null";
  if (value.is_array())
    return value.empty() ? "[]" : "list";
  return "object";
}

// Members by the kind of their value.
using MemberKinds = std::vector<std::pair<const char*, std::vector<const char*>>>;

// The members of a video material that CapCut 9.1 and 9.4 write (68), by kind, for a clip
// with sound.
const MemberKinds VIDEO_MATERIAL_MEMBERS = {
    {"text",
     {"id",
      "type",
      "path",
      "material_name",
      "local_material_id",
      "category_name",
      "crop_ratio",
      "picture_from",
      "aigc_type",
      "media_path",
      "local_id",
      "reverse_path",
      "intensifies_path",
      "reverse_intensifies_path",
      "intensifies_audio_path",
      "cartoon_path",
      "category_id",
      "material_id",
      "material_url",
      "formula_id",
      "picture_set_category_id",
      "picture_set_category_name",
      "team_id",
      "origin_material_id",
      "request_id",
      "aigc_history_id",
      "aigc_item_id",
      "local_material_from",
      "beauty_body_preset_id",
      "live_photo_cover_path",
      "unique_id",
      "workflow_node_id"}},
    {"integer",
     {"duration", "width", "height", "check_flag", "extra_type_option", "source", "source_platform",
      "live_photo_timestamp"}},
    {"float", {"crop_scale"}},
    {"true", {"has_audio"}},
    {"false",
     {"is_unified_beauty_mode", "is_set_beauty_mode", "has_sound_separated", "is_text_edit_overdub",
      "is_ai_generate_content", "is_copyright"}},
    {"null",
     {"object_locked", "smart_motion", "multi_camera_info", "freeze", "smart_match_info",
      "beauty_body_auto_preset", "content_feature_info", "corner_pin", "audio_fade"}},
    {"[]",
     {"beauty_face_preset_infos", "beauty_face_auto_preset_infos", "surface_trackings",
      "pre_applied_vip_materials"}},
    {"object",
     {"crop", "stable", "matting", "video_algorithm", "beauty_face_auto_preset",
      "video_mask_stroke", "video_mask_shadow"}},
};

// The members of a video segment that CapCut 9.4 writes (52), by kind.
const MemberKinds SEGMENT_MEMBERS = {
    {"text",
     {"id", "material_id", "source", "template_scene", "desc", "group_id", "template_id",
      "raw_segment_id", "digital_human_template_group_id", "color_correct_alg_result",
      "segment_color_tag"}},
    {"integer", {"render_index", "track_render_index", "track_attribute", "state"}},
    {"float", {"speed", "volume", "last_nonzero_volume"}},
    {"true",
     {"visible", "enable_lut", "enable_adjust", "enable_color_curves", "enable_hsl_curves",
      "enable_color_wheels", "enable_video_mask"}},
    {"false",
     {"is_loop", "is_tone_modify", "reverse", "intensifies_audio", "cartoon", "enable_hsl",
      "is_placeholder", "enable_smart_color_adjust", "enable_color_match_adjust",
      "enable_color_correct_adjust", "enable_adjust_mask", "enable_mask_stroke",
      "enable_mask_shadow", "enable_color_adjust_pro"}},
    {"null", {"caption_info", "lyric_keyframes", "hdr_vivid_settings"}},
    {"[]", {"keyframe_refs", "common_keyframes"}},
    {"list", {"extra_material_refs"}},
    {"object",
     {"source_timerange", "target_timerange", "render_timerange", "clip", "uniform_scale",
      "hdr_settings", "responsive_layout"}},
};

void expect_member_kinds(const Json& object, const MemberKinds& table, size_t count) {
  size_t listed = 0;
  for (const auto& [kind, names] : table) {
    for (const char* name : names) {
      ++listed;
      ASSERT_TRUE(object.contains(name)) << name;
      EXPECT_EQ(kind_of(object[name]), kind) << name;
    }
  }
  EXPECT_EQ(listed, count);
}

// A clip of 2.5 s with sound, as its probe describes it.
CapcutClip probed_clip() {
  ClipFacts facts{};
  facts.duration = 2.5;
  facts.sound_channels = 2;
  facts.picture = PictureFacts{720, 1280, std::nullopt, true, {}};
  return capcut_clip_of("/clips/a.mp4", facts, FrameSize{1080, 1920});
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

TEST(NormalizeCapcutDraft, MaterialsSegmentsAndExtrasCarryCapcutsMembersAndKinds) {
  Json draft = parse_json(R"({"materials": {"speeds": []}, "tracks": []})");
  const CapcutClip clip = probed_clip();
  normalize_capcut_draft_for_clips(draft, {clip});
  const Json& material = draft["materials"]["videos"].at(0);
  expect_member_kinds(material, VIDEO_MATERIAL_MEMBERS, 68);
  EXPECT_EQ(material["local_material_id"], clip.media_id);
  EXPECT_TRUE(std::regex_match(clip.media_id.c_str(),
                               std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                                          "[0-9a-f]{12}")))
      << clip.media_id;
  EXPECT_EQ(material["width"], 720);
  EXPECT_EQ(material["height"], 1280);
  EXPECT_EQ(material["check_flag"], 62978047);
  EXPECT_EQ(material["category_name"], "local");
  EXPECT_EQ(json_line_text(material["crop"]),
            R"({"upper_left_x": 0.0, "upper_left_y": 0.0, "upper_right_x": 1.0, )"
            R"("upper_right_y": 0.0, "lower_left_x": 0.0, "lower_left_y": 1.0, )"
            R"("lower_right_x": 1.0, "lower_right_y": 1.0})");

  const Json& segment = draft["tracks"][0]["segments"].at(0);
  expect_member_kinds(segment, SEGMENT_MEMBERS, 52);
  EXPECT_EQ(segment["source"], "segmentsourcenormal");
  EXPECT_EQ(json_line_text(segment["render_timerange"]), R"({"start": 0, "duration": 0})");

  // One new material of each kind for this segment alone, in CapCut's order and shapes.
  const struct {
    const char* kind;
    std::vector<std::string> members;
  } extras[] = {
      {"speeds", {"id", "type", "mode", "speed", "curve_speed"}},
      {"placeholder_infos",
       {"id", "type", "meta_type", "res_path", "res_text", "error_path", "error_text"}},
      {"canvases",
       {"id", "type", "color", "blur", "image", "album_image", "image_id", "image_name",
        "source_platform", "team_id"}},
      {"sound_channel_mappings", {"id", "type", "audio_channel_mapping", "is_config_open"}},
      {"material_colors",
       {"id", "is_color_clip", "is_gradient", "solid_color", "gradient_colors", "gradient_percents",
        "gradient_angle", "width", "height"}},
      {"vocal_separations",
       {"id", "type", "choice", "removed_sounds", "time_range", "production_path",
        "final_algorithm", "enter_from"}},
  };
  const Json& refs = segment["extra_material_refs"];
  ASSERT_EQ(refs.size(), std::size(extras));
  for (size_t i = 0; i < std::size(extras); ++i) {
    const Json& list = draft["materials"][extras[i].kind];
    ASSERT_EQ(list.size(), 1u) << extras[i].kind;
    EXPECT_EQ(list[0]["id"], refs[i]) << extras[i].kind;
    EXPECT_EQ(keys_of(list[0]), extras[i].members) << extras[i].kind;
  }
  EXPECT_EQ(json_line_text(draft["materials"]["speeds"][0]["speed"]), "1.0");
}

// A template saved by the user's CapCut shows how that build shapes each kind: the rewrite
// follows it, down to the members it does not know.
TEST(NormalizeCapcutDraft, WhatTheTemplateHoldsGivesTheShape) {
  Json draft = parse_json(R"({"materials": {
      "videos": [{"zz_first": 1, "id": "V0", "path": "/old.mp4", "future": {"a": 1}}],
      "speeds": [{"id": "S0", "speed": 2.0, "type": "speed", "curve_speed": null, "mode": 0,
                  "future": "x"}]},
    "tracks": [{"type": "video", "segments": [{"future_flag": true, "id": "G0"}]}]})");
  normalize_capcut_draft_for_clips(draft, {probed_clip()});

  const Json& material = draft["materials"]["videos"].at(0);
  const std::vector<std::string> material_keys = keys_of(material);
  EXPECT_EQ(std::vector<std::string>(material_keys.begin(), material_keys.begin() + 4),
            (std::vector<std::string>{"zz_first", "id", "path", "future"}));
  EXPECT_EQ(material["zz_first"], 1);
  EXPECT_EQ(material["path"], "/clips/a.mp4");
  EXPECT_TRUE(material.contains("local_material_id"));

  const Json& speeds = draft["materials"]["speeds"];
  ASSERT_EQ(speeds.size(), 2u);
  EXPECT_EQ(speeds[0]["id"], "S0");  // the template's own stays
  EXPECT_EQ(json_line_text(speeds[1]),
            R"({"id": ")" + speeds[1]["id"].get<std::string>() +
                R"(", "speed": 1.0, "type": "speed", "curve_speed": null, "mode": 0, )"
                R"("future": "x"})");

  const Json& segment = draft["tracks"][0]["segments"].at(0);
  EXPECT_EQ(keys_of(segment)[0], "future_flag");
  EXPECT_EQ(segment["future_flag"], true);
  EXPECT_NE(segment["id"], "G0");
  // Kinds the template holds none of take CapCut's shape.
  EXPECT_EQ(keys_of(draft["materials"]["canvases"].at(0))[1], "type");
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
      {R"({"materials": {"videos": [1], "canvases": {}}, "tracks": []})", PORTRAIT,
       "CapCut-Entwurf: „canvases“ ist keine Liste"},
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
    const std::vector<std::string> keys = keys_of(material);
    EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 13),
              (std::vector<std::string>{"id", "type", "name", "path", "duration", "width", "height",
                                        "source", "material_name", "create_time",
                                        "extra_type_option", "has_audio", "local_material_id"}));
    EXPECT_EQ(material["type"], "video");
    EXPECT_EQ(material["name"], names[i]);
    EXPECT_EQ(material["material_name"], names[i]);
    EXPECT_EQ(material["path"], absolute_clips()[i]);
    EXPECT_EQ(material["duration"], durations[i]);
    // The clip's own picture and sound, whatever the frame.
    EXPECT_EQ(material["width"], 64);
    EXPECT_EQ(material["height"], 64);
    EXPECT_TRUE(material["create_time"].is_number_integer());
    EXPECT_EQ(material["has_audio"], false);

    const Json& segment = segments[i];
    const std::vector<std::string> segment_keys = keys_of(segment);
    EXPECT_EQ(std::vector<std::string>(segment_keys.begin(), segment_keys.begin() + 10),
              (std::vector<std::string>{"id", "material_id", "render_index", "source_timerange",
                                        "target_timerange", "visible", "volume", "speed", "clip",
                                        "extra_material_refs"}));
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

  // Everything but the first video track, the video materials and the segments' own extra
  // materials stays as read.
  expected_rest["duration"] = 6750000;
  expected_rest["draft_duration"] = 6750000;
  expected_rest["materials"]["videos"] = videos;
  for (const char* kind : SEGMENT_EXTRA_KINDS) {
    ASSERT_EQ(draft["materials"][kind].size(), 3u) << kind;
    expected_rest["materials"][kind] = draft["materials"][kind];
  }
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
  }
  for (const Json& segment : draft["tracks"][0]["segments"])
    EXPECT_EQ(first.count(segment["id"].get<std::string>()), 0u);
}

// A jump-cut clip, as the cut writes one with its joins in the TAVELMOR_CUTS tag, and a
// phone's clip turned by its rotation.
TEST_F(CapcutDraftMedia, AJumpCutClipPlaysOneSegmentPerSpanAndEachClipItsShownSize) {
  const fs::path jump = *dir_ / "jump.mp4";
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=40", "-frames:v", "160", "-c:v",
              "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-metadata",
              "TAVELMOR_CUTS=1.5,3.0", "-movflags", "use_metadata_tags", path_to_utf8(jump)});
  const fs::path plain = *dir_ / "plain.mov";
  run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=48x32:rate=40", "-frames:v", "40", "-c:v",
              "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", path_to_utf8(plain)});
  const fs::path turned = *dir_ / "turned.mov";
  run_ffmpeg({"-i", path_to_utf8(plain), "-c", "copy", "-metadata:s:v:0", "rotate=90",
              path_to_utf8(turned)});

  Json draft = parse_json(R"({"tracks": [], "duration": 0})");
  const long long total =
      normalize_capcut_draft_for_files(draft, {path_to_utf8(jump), path_to_utf8(turned)}, PORTRAIT)
          .second;
  EXPECT_EQ(total, 5000000);
  const Json& segments = draft["tracks"][0]["segments"];
  const Json& videos = draft["materials"]["videos"];
  ASSERT_EQ(segments.size(), 4u);
  ASSERT_EQ(videos.size(), 4u);
  const long long sources[][2] = {
      {0, 1500000}, {1500000, 1500000}, {3000000, 1000000}, {0, 1000000}};
  std::set<std::string> extras;
  long long cursor = 0;
  for (size_t i = 0; i < 4; ++i) {
    const Json& segment = segments[i];
    EXPECT_EQ(segment["source_timerange"]["start"], sources[i][0]) << i;
    EXPECT_EQ(segment["source_timerange"]["duration"], sources[i][1]) << i;
    EXPECT_EQ(segment["target_timerange"]["start"], cursor) << i;
    EXPECT_EQ(segment["target_timerange"]["duration"], sources[i][1]) << i;
    cursor += sources[i][1];
    EXPECT_EQ(segment["material_id"], videos[i]["id"]);
    for (const Json& ref : segment["extra_material_refs"])
      extras.insert(ref.get<std::string>());
  }
  EXPECT_EQ(extras.size(), 24u);  // six of its own for each segment
  for (const char* kind : SEGMENT_EXTRA_KINDS)
    EXPECT_EQ(draft["materials"][kind].size(), 4u) << kind;

  // The spans are pieces of one file: one media entry, three materials.
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(videos[i]["local_material_id"], videos[0]["local_material_id"]);
    EXPECT_EQ(videos[i]["duration"], 4000000);
    EXPECT_EQ(videos[i]["width"], 64);
    EXPECT_EQ(videos[i]["height"], 48);
  }
  EXPECT_NE(videos[3]["local_material_id"], videos[0]["local_material_id"]);
  EXPECT_EQ(videos[3]["width"], 32);  // stored 48x32, shown turned
  EXPECT_EQ(videos[3]["height"], 48);
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
