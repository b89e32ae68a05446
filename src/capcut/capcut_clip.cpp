#include "capcut/capcut_clip.h"

#include "capcut/capcut_files.h"
#include "capcut/uuid.h"
#include "media/clip_spans.h"
#include "settings/path_text.h"

CapcutClip capcut_clip_of(const std::string& path, const ClipFacts& facts, const FrameSize& frame) {
  CapcutClip clip;
  clip.path = path;
  clip.duration_us = microseconds_of(facts.duration);
  clip.width = facts.picture ? facts.picture->width : frame.width;
  clip.height = facts.picture ? facts.picture->height : frame.height;
  clip.has_audio = facts.sound_channels.value_or(1) > 0;
  // Each end rounded once, so the spans meet exactly and add up to the clip.
  for (const ClipSpan& span : spans_between_joins(0.0, facts.duration, facts.cuts)) {
    const long long start_us = microseconds_of(span.start);
    const long long end_us =
        span.end >= facts.duration ? clip.duration_us : microseconds_of(span.end);
    if (end_us > start_us)
      clip.spans.push_back({start_us, end_us - start_us});
  }
  if (clip.spans.empty())
    clip.spans.push_back({0, clip.duration_us});
  clip.media_id = to_lower_ascii(new_uuid());
  return clip;
}

std::vector<CapcutClip> probe_capcut_clips(const std::vector<std::string>& files,
                                           const FrameSize& frame) {
  std::vector<CapcutClip> clips;
  for (const std::string& file : files) {
    const std::string path = absolute_form_text(file);
    clips.push_back(capcut_clip_of(path, get_duration_and_handles(path), frame));
  }
  return clips;
}
