#include "capcut/draft_normalize.h"

#include <iterator>
#include <stdexcept>

#include "capcut/capcut_files.h"
#include "capcut/capcut_shapes.h"
#include "capcut/uuid.h"

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

namespace {

void check_draft(const Json& draft) {
  if (!draft.is_object())
    throw std::runtime_error("CapCut-Entwurf ist kein JSON-Objekt");
  if (draft.contains("materials") && !draft["materials"].is_object())
    throw std::runtime_error("CapCut-Entwurf: „materials“ ist kein Objekt");
  if (draft.contains("tracks") && !draft["tracks"].is_structured())
    throw std::runtime_error("CapCut-Entwurf: „tracks“ ist weder Liste noch Objekt");
  if (!draft.contains("materials"))
    return;
  for (const char* kind : SEGMENT_EXTRA_KINDS) {
    const auto list = draft["materials"].find(kind);
    if (list != draft["materials"].end() && !list->is_array())
      throw std::runtime_error(std::string("CapCut-Entwurf: „") + kind + "“ ist keine Liste");
  }
}

// The first object of the list `name` in `holder`: the shape the template gives that kind.
Json model_in(const Json& holder, const char* name) {
  const auto list = holder.find(name);
  if (list != holder.end() && list->is_array()) {
    for (const Json& element : *list) {
      if (element.is_object())
        return element;
    }
  }
  return nullptr;
}

// The draft's shapes of what the rewrite writes, taken before the rewrite replaces them.
struct DraftModels {
  Json video;
  Json segment;
  Json extras[std::size(SEGMENT_EXTRA_KINDS)];
};

DraftModels models_of(Json& draft) {
  DraftModels models;
  const Json none = Json::object();
  const Json& materials = draft.contains("materials") ? draft["materials"] : none;
  models.video = model_in(materials, "videos");
  for (size_t i = 0; i < std::size(SEGMENT_EXTRA_KINDS); ++i)
    models.extras[i] = model_in(materials, SEGMENT_EXTRA_KINDS[i]);
  if (const Json* track = find_first_video_track(draft))
    models.segment = model_in(*track, "segments");
  return models;
}

}  // namespace

std::pair<Json&, long long> normalize_capcut_draft_for_files(Json& draft,
                                                             const std::vector<std::string>& files,
                                                             const Json& cfg) {
  const FrameSize frame = frame_of(cfg);
  check_draft(draft);
  return normalize_capcut_draft_for_clips(draft, probe_capcut_clips(files, frame));
}

std::pair<Json&, long long> normalize_capcut_draft_for_clips(Json& draft,
                                                             const std::vector<CapcutClip>& clips) {
  check_draft(draft);
  const DraftModels models = models_of(draft);
  if (!draft.contains("materials"))
    draft["materials"] = Json::object();
  draft["materials"]["videos"] = Json::array();
  if (draft["materials"].contains("audios") && draft["materials"]["audios"].is_array())
    draft["materials"]["audios"] = Json::array();

  // Adding `tracks` may move the draft's other members, so references are taken afterwards.
  Json& track = video_track_to_fill(draft);
  track["type"] = "video";
  track["segments"] = Json::array();
  Json& materials = draft["materials"];

  long long timeline_cursor = 0;
  int render_index = 0;
  for (const CapcutClip& clip : clips) {
    // A jump-cut clip plays one segment per stretch between its joins, each a cut of its own.
    for (const CapcutSpan& span : clip.spans) {
      const std::string material_id = new_uuid();
      const std::string segment_id = new_uuid();
      std::vector<std::string> extra_refs;
      for (size_t i = 0; i < std::size(SEGMENT_EXTRA_KINDS); ++i) {
        extra_refs.push_back(new_uuid());
        materials[SEGMENT_EXTRA_KINDS[i]].push_back(shaped_like(
            capcut_extra_material(SEGMENT_EXTRA_KINDS[i], extra_refs.back()), models.extras[i]));
      }
      materials["videos"].push_back(
          shaped_like(capcut_video_material(clip, material_id), models.video));
      const SegmentPlace place{render_index, span, timeline_cursor};
      track["segments"].push_back(shaped_like(
          capcut_video_segment(segment_id, material_id, place, extra_refs), models.segment));
      timeline_cursor += span.duration_us;
      ++render_index;
    }
  }

  for (const char* member : {"duration", "draft_duration"}) {
    if (draft.contains(member))
      draft[member] = timeline_cursor;
  }
  return {draft, timeline_cursor};
}
