#include "capcut/draft_normalize.h"

#include <stdexcept>

#include "capcut/capcut_files.h"
#include "capcut/uuid.h"
#include "media/ffmpeg_tools.h"
#include "settings/path_text.h"

namespace {

Json* first_track_where(Json& tracks, bool (*fits)(const Json&)) {
  for (Json& track : tracks) {
    if (track.is_object() && fits(track))
      return &track;
  }
  return nullptr;
}

bool is_video_track(const Json& track) {
  const auto type = track.find("type");
  return type != track.end() && type->is_string() && *type == "video";
}

bool has_segments(const Json& track) {
  return track.contains("segments");
}

Json video_material(const std::string& id, const std::string& path, long long duration_us,
                    const FrameSize& frame) {
  const std::string name = file_name_of(path);
  return Json{{"id", id},
              {"type", "video"},
              {"name", name},
              {"path", path},
              {"duration", duration_us},
              {"width", frame.width},
              {"height", frame.height},
              {"source", 0},
              {"material_name", name},
              {"create_time", unix_time_seconds()},
              {"extra_type_option", 0},
              {"has_audio", true}};
}

Json segment(const std::string& id, const std::string& material_id, int render_index,
             long long start_us, long long duration_us) {
  return Json{
      {"id", id},
      {"material_id", material_id},
      {"render_index", render_index},
      {"source_timerange", {{"start", 0}, {"duration", duration_us}}},
      {"target_timerange", {{"start", start_us}, {"duration", duration_us}}},
      {"visible", true},
      {"volume", 1.0},
      {"speed", 1.0},
      {"clip",
       {{"alpha", 1.0},
        {"flip", {{"horizontal", false}, {"vertical", false}}},
        {"rotation", 0.0},
        {"scale", {{"x", 1.0}, {"y", 1.0}}},
        {"transform", {{"x", 0.0}, {"y", 0.0}}}}},
  };
}

// The track to fill, made at the end of `tracks` when the draft has none to use.
Json& video_track_to_fill(Json& draft) {
  if (Json* found = find_first_video_track(draft))
    return *found;
  if (!draft.contains("tracks") || draft["tracks"].is_object())
    draft["tracks"] = Json::array();
  Json& tracks = draft["tracks"];
  // The members CapCut's own tracks carry; draft readers refuse a track without them.
  tracks.push_back(Json{{"attribute", 0},
                        {"flag", 0},
                        {"id", new_uuid()},
                        {"is_default_name", true},
                        {"name", ""},
                        {"segments", Json::array()},
                        {"type", "video"}});
  return tracks.back();
}

}  // namespace

Json* find_first_video_track(Json& draft) {
  if (!draft.is_object())
    return nullptr;
  const auto member = draft.find("tracks");
  if (member == draft.end() || !member->is_structured())
    return nullptr;
  // Iterating a JSON object visits its member values, so both forms of `tracks` work alike.
  if (Json* video = first_track_where(*member, is_video_track))
    return video;
  return first_track_where(*member, has_segments);
}

std::pair<Json&, long long> normalize_capcut_draft_for_files(Json& draft,
                                                             const std::vector<std::string>& files,
                                                             const Json& cfg) {
  const FrameSize frame = frame_of(cfg);
  if (!draft.is_object())
    throw std::runtime_error("CapCut-Entwurf ist kein JSON-Objekt");
  if (draft.contains("materials") && !draft["materials"].is_object())
    throw std::runtime_error("CapCut-Entwurf: „materials“ ist kein Objekt");
  if (draft.contains("tracks") && !draft["tracks"].is_structured())
    throw std::runtime_error("CapCut-Entwurf: „tracks“ ist weder Liste noch Objekt");

  if (!draft.contains("materials"))
    draft["materials"] = Json::object();
  draft["materials"]["videos"] = Json::array();
  if (draft["materials"].contains("audios") && draft["materials"]["audios"].is_array())
    draft["materials"]["audios"] = Json::array();

  // Adding `tracks` may move the draft's other members, so references are taken afterwards.
  Json& track = video_track_to_fill(draft);
  track["type"] = "video";
  track["segments"] = Json::array();
  Json& videos = draft["materials"]["videos"];

  long long timeline_cursor = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = absolute_form_text(files[i]);
    const long long duration_us = microseconds_of(get_duration(path));
    const std::string material_id = new_uuid();
    const std::string segment_id = new_uuid();
    videos.push_back(video_material(material_id, path, duration_us, frame));
    track["segments"].push_back(
        segment(segment_id, material_id, static_cast<int>(i), timeline_cursor, duration_us));
    timeline_cursor += duration_us;
  }

  for (const char* member : {"duration", "draft_duration"}) {
    if (draft.contains(member))
      draft[member] = timeline_cursor;
  }
  return {draft, timeline_cursor};
}
