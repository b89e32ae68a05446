#include "capcut/capcut_shapes.h"

#include <stdexcept>

#include "capcut/capcut_files.h"
#include "settings/path_text.h"

const char* const SEGMENT_EXTRA_KINDS[6] = {"speeds",          "placeholder_infos",
                                            "canvases",        "sound_channel_mappings",
                                            "material_colors", "vocal_separations"};

namespace {

// The members of a video material that say nothing about the clip, as CapCut writes them for a
// file it imported and left untouched.
const char* const VIDEO_MATERIAL_NEUTRAL = R"({
  "category_name": "local",
  "check_flag": 62978047,
  "crop": {"upper_left_x": 0.0, "upper_left_y": 0.0, "upper_right_x": 1.0, "upper_right_y": 0.0,
           "lower_left_x": 0.0, "lower_left_y": 1.0, "lower_right_x": 1.0, "lower_right_y": 1.0},
  "crop_ratio": "free",
  "crop_scale": 1.0,
  "source_platform": 0,
  "live_photo_timestamp": -1,
  "picture_from": "none",
  "aigc_type": "none",
  "media_path": "", "local_id": "", "reverse_path": "", "intensifies_path": "",
  "reverse_intensifies_path": "", "intensifies_audio_path": "", "cartoon_path": "",
  "category_id": "", "material_id": "", "material_url": "", "formula_id": "",
  "picture_set_category_id": "", "picture_set_category_name": "", "team_id": "",
  "origin_material_id": "", "request_id": "", "aigc_history_id": "", "aigc_item_id": "",
  "local_material_from": "", "beauty_body_preset_id": "", "live_photo_cover_path": "",
  "unique_id": "", "workflow_node_id": "",
  "is_unified_beauty_mode": false, "is_set_beauty_mode": false, "has_sound_separated": false,
  "is_text_edit_overdub": false, "is_ai_generate_content": false, "is_copyright": false,
  "object_locked": null, "smart_motion": null, "multi_camera_info": null, "freeze": null,
  "smart_match_info": null, "beauty_body_auto_preset": null, "content_feature_info": null,
  "corner_pin": null, "audio_fade": null,
  "beauty_face_preset_infos": [], "beauty_face_auto_preset_infos": [], "surface_trackings": [],
  "pre_applied_vip_materials": [],
  "stable": {"stable_level": 0, "matrix_path": "", "time_range": {"start": 0, "duration": 0}},
  "matting": {"flag": 0, "has_use_quick_brush": false, "has_use_quick_eraser": false,
              "interactiveTime": [], "path": "", "strokes": []},
  "video_algorithm": {"algorithms": [], "complement_frame_config": null, "deflicker": null,
                      "gameplay_configs": [], "motion_blur_config": null, "noise_reduction": null,
                      "path": "", "quality_enhance": null, "time_range": null},
  "beauty_face_auto_preset": {"name": "", "preset_id": "", "rate_map": "", "scene": ""},
  "video_mask_stroke": {"alpha": 0.0, "color": "", "distance": 0.0, "horizontal_shift": 0.0,
                        "path": "", "resource_id": "", "size": 0.0, "texture": 0.0, "type": "",
                        "vertical_shift": 0.0},
  "video_mask_shadow": {"alpha": 0.0, "angle": 0.0, "blur": 0.0, "color": "", "distance": 0.0,
                        "path": "", "resource_id": ""}
})";

// The members of a segment on the main track that leave its clip as it is: full size, full
// volume, no effect.
const char* const SEGMENT_NEUTRAL = R"({
  "render_timerange": {"start": 0, "duration": 0},
  "track_render_index": 0,
  "uniform_scale": {"on": true, "value": 1.0},
  "hdr_settings": {"mode": 1, "intensity": 1.0, "nits": 1000},
  "responsive_layout": {"enable": false, "target_follow": "", "size_layout": 0,
                        "horizontal_pos_layout": 0, "vertical_pos_layout": 0},
  "last_nonzero_volume": 1.0,
  "track_attribute": 0,
  "state": 0,
  "source": "segmentsourcenormal",
  "template_scene": "default",
  "desc": "", "group_id": "", "template_id": "", "raw_segment_id": "",
  "digital_human_template_group_id": "", "color_correct_alg_result": "", "segment_color_tag": "",
  "enable_lut": true, "enable_adjust": true, "enable_color_curves": true,
  "enable_hsl_curves": true, "enable_color_wheels": true, "enable_video_mask": true,
  "is_loop": false, "is_tone_modify": false, "reverse": false, "intensifies_audio": false,
  "cartoon": false, "enable_hsl": false, "is_placeholder": false,
  "enable_smart_color_adjust": false, "enable_color_match_adjust": false,
  "enable_color_correct_adjust": false, "enable_adjust_mask": false, "enable_mask_stroke": false,
  "enable_mask_shadow": false, "enable_color_adjust_pro": false,
  "caption_info": null, "lyric_keyframes": null, "hdr_vivid_settings": null,
  "keyframe_refs": [], "common_keyframes": []
})";

// The extra materials of a segment, in the order of SEGMENT_EXTRA_KINDS, without their id.
const char* const EXTRA_MATERIALS = R"({
  "speeds": {"type": "speed", "mode": 0, "speed": 1.0, "curve_speed": null},
  "placeholder_infos": {"type": "placeholder_info", "meta_type": "none", "res_path": "",
                        "res_text": "", "error_path": "", "error_text": ""},
  "canvases": {"type": "canvas_color", "color": "", "blur": 0.0, "image": "", "album_image": "",
               "image_id": "", "image_name": "", "source_platform": 0, "team_id": ""},
  "sound_channel_mappings": {"type": "none", "audio_channel_mapping": 0, "is_config_open": false},
  "material_colors": {"is_color_clip": false, "is_gradient": false, "solid_color": "",
                      "gradient_colors": [], "gradient_percents": [], "gradient_angle": 90.0,
                      "width": 0.0, "height": 0.0},
  "vocal_separations": {"type": "vocal_separation", "choice": 0, "removed_sounds": [],
                        "time_range": null, "production_path": "", "final_algorithm": "",
                        "enter_from": ""}
})";

}  // namespace

Json capcut_video_material(const CapcutClip& clip, const std::string& id) {
  static const Json neutral = parse_json(VIDEO_MATERIAL_NEUTRAL);
  const std::string name = file_name_of(clip.path);
  Json material{{"id", id},
                {"type", "video"},
                {"name", name},
                {"path", clip.path},
                {"duration", clip.duration_us},
                {"width", clip.width},
                {"height", clip.height},
                {"source", 0},
                {"material_name", name},
                {"create_time", unix_time_seconds()},
                {"extra_type_option", 0},
                {"has_audio", clip.has_audio},
                {"local_material_id", clip.media_id}};
  material.update(neutral);
  return material;
}

Json capcut_video_segment(const std::string& id, const std::string& material_id,
                          const SegmentPlace& place, const std::vector<std::string>& extra_refs) {
  static const Json neutral = parse_json(SEGMENT_NEUTRAL);
  const long long duration_us = place.source.duration_us;
  Json segment{
      {"id", id},
      {"material_id", material_id},
      {"render_index", place.render_index},
      {"source_timerange", {{"start", place.source.start_us}, {"duration", duration_us}}},
      {"target_timerange", {{"start", place.target_start_us}, {"duration", duration_us}}},
      {"visible", true},
      {"volume", 1.0},
      {"speed", 1.0},
      {"clip",
       {{"alpha", 1.0},
        {"flip", {{"horizontal", false}, {"vertical", false}}},
        {"rotation", 0.0},
        {"scale", {{"x", 1.0}, {"y", 1.0}}},
        {"transform", {{"x", 0.0}, {"y", 0.0}}}}},
      {"extra_material_refs", extra_refs},
  };
  segment.update(neutral);
  return segment;
}

Json capcut_extra_material(const std::string& kind, const std::string& id) {
  static const Json shapes = parse_json(EXTRA_MATERIALS);
  const auto shape = shapes.find(kind);
  if (shape == shapes.end())
    throw std::logic_error("unknown extra material kind: " + kind);
  Json material{{"id", id}};
  material.update(*shape);
  return material;
}

Json shaped_like(const Json& ours, const Json& model) {
  if (!model.is_object() || !ours.is_object())
    return ours;
  Json shaped = Json::object();
  for (auto member = model.begin(); member != model.end(); ++member) {
    const auto own = ours.find(member.key());
    shaped[member.key()] = own != ours.end() ? *own : *member;
  }
  for (auto member = ours.begin(); member != ours.end(); ++member) {
    if (!shaped.contains(member.key()))
      shaped[member.key()] = *member;
  }
  return shaped;
}
