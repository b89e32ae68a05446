#include "export/timeline_xml.h"

#include <algorithm>
#include <cmath>

#include "media/clip_spans.h"

namespace {

// Frames as far as a count can be meant: a probe of a broken file may give any duration.
constexpr double MAX_FRAMES = 1e15;
// More channels than editors take on one clip: the file keeps its count, the items stop there.
constexpr int MAX_AUDIO_TRACKS = 32;

long long truncated_frames(double frames) {
  if (std::isnan(frames))
    return 0;
  return static_cast<long long>(std::trunc(std::clamp(frames, -MAX_FRAMES, MAX_FRAMES)));
}

// Seconds as frames at `per_second`, truncated; a time within a microsecond below a frame counts
// as that frame, since ffprobe and the tags write seconds to the microsecond or so.
long long frames_reaching(double seconds, double per_second) {
  const double frames = seconds * per_second;
  const double next = std::ceil(frames);
  if (next - frames < 1e-6 * per_second)
    return truncated_frames(next);
  return truncated_frames(frames);
}

// The rate a file is declared at: its picture's, as a whole timebase with the NTSC mark for
// 29.97 and its kin, or the sequence's for a file without a known picture rate.
struct DeclaredRate {
  int timebase = TIMELINE_FPS;
  bool ntsc = false;
  double per_second() const { return ntsc ? timebase * 1000.0 / 1001.0 : timebase; }
};

DeclaredRate declared_rate(const std::optional<PictureFacts>& picture) {
  if (!picture || !picture->rate || timecode_fps(*picture->rate) < 1)
    return {};
  return {timecode_fps(*picture->rate), is_ntsc_rate(*picture->rate)};
}

std::string spaces(int count) {
  return std::string(static_cast<size_t>(count), ' ');
}

std::string rate_element(int timebase = TIMELINE_FPS, bool ntsc = false) {
  return "<rate><timebase>" + std::to_string(timebase) + "</timebase><ntsc>" +
         (ntsc ? "TRUE" : "FALSE") + "</ntsc></rate>";
}

std::string element(const std::string& name, long long value) {
  return "<" + name + ">" + std::to_string(value) + "</" + name + ">";
}

// One clip item of the video track with the audio items that belong to it: a whole clip, or one
// span of a jump-cut clip.
struct ItemGroup {
  const TimelineClip* clip = nullptr;
  size_t file_number = 0;      // the clip's place in the list
  bool declares_file = false;  // the clip's first item carries its file element
  size_t number = 0;           // the video item's place on its track, from 1
  long long in = 0;            // frames within the file
  long long out = 0;
  long long duration = 1;
  long long start = 0;         // frames on the timeline
  std::vector<size_t> places;  // for channel c + 1: the audio item's place on its track
};

// A clip's items as (in, out, duration): one for the clip, or one per span between its joins.
// Spans that fall within one frame are left out; a clip whose spans all do stays one item.
std::vector<ItemGroup> items_of(const TimelineClip& clip) {
  std::vector<ItemGroup> items;
  const std::vector<ClipSpan> spans = spans_between_joins(clip.t_start, clip.t_end, clip.joins);
  if (spans.size() > 1) {
    long long in = seconds_to_frames(clip.t_start);
    for (size_t i = 0; i < spans.size(); ++i) {
      const bool last = i + 1 == spans.size();
      const long long out =
          last ? seconds_to_frames(clip.t_end) : frames_reaching(spans[i].end, TIMELINE_FPS);
      if (out > in) {
        ItemGroup item;
        item.in = in;
        item.out = out;
        item.duration = out - in;
        items.push_back(item);
        in = out;
      }
    }
  }
  if (items.empty()) {
    ItemGroup item;
    item.in = seconds_to_frames(clip.t_start);
    item.out = seconds_to_frames(clip.t_end);
    item.duration = clip.dur_f;
    items.push_back(item);
  }
  return items;
}

int audio_items_of(const TimelineClip& clip) {
  return std::clamp(clip.sound_channels, 0, MAX_AUDIO_TRACKS);
}

// Every clip's items in timeline order, numbered and placed on their tracks.
std::vector<ItemGroup> lay_out(const std::vector<TimelineClip>& clips) {
  std::vector<ItemGroup> groups;
  std::vector<size_t> on_audio_track(MAX_AUDIO_TRACKS, 0);
  long long start = 0;
  for (size_t i = 0; i < clips.size(); ++i) {
    std::vector<ItemGroup> items = items_of(clips[i]);
    for (size_t k = 0; k < items.size(); ++k) {
      ItemGroup& item = items[k];
      item.clip = &clips[i];
      item.file_number = i + 1;
      item.declares_file = k == 0;
      item.number = groups.size() + 1;
      item.start = start;
      for (int c = 0; c < audio_items_of(clips[i]); ++c)
        item.places.push_back(++on_audio_track[static_cast<size_t>(c)]);
      start += item.duration;
      groups.push_back(item);
    }
  }
  return groups;
}

std::string video_id(const ItemGroup& group) {
  return "clip" + std::to_string(group.number);
}

// Channel 1's item carries the number alone, as the items of a single track always have.
std::string audio_id(const ItemGroup& group, size_t channel) {
  const std::string id = "audioclip" + std::to_string(group.number);
  return channel == 1 ? id : id + "-" + std::to_string(channel);
}

// A stereo pair is one clip to the editors; other channels stand each on their own.
size_t group_index(const ItemGroup& group, size_t channel) {
  return group.places.size() == 2 ? 1 : channel;
}

// The links of an item to each member of its group, itself included; none for a picture alone.
std::string links(const ItemGroup& group) {
  if (group.places.empty())
    return "";
  const std::string pad = "\n" + spaces(20);
  std::string text = pad + "<link><linkclipref>" + video_id(group) +
                     "</linkclipref><mediatype>video</mediatype>" + element("trackindex", 1) +
                     element("clipindex", static_cast<long long>(group.number)) + "</link>";
  for (size_t c = 1; c <= group.places.size(); ++c) {
    text += pad + "<link><linkclipref>" + audio_id(group, c) +
            "</linkclipref><mediatype>audio</mediatype>" +
            element("trackindex", static_cast<long long>(c)) +
            element("clipindex", static_cast<long long>(group.places[c - 1])) +
            element("groupindex", static_cast<long long>(group_index(group, c))) + "</link>";
  }
  return text;
}

// The lines an item shares between the tracks: name, duration, rate and its placement.
std::string item_timing(const ItemGroup& group, const std::string& name) {
  const std::string pad = "\n" + spaces(20);
  return pad + "<name>" + name + "</name>" + pad + element("duration", group.duration) + pad +
         rate_element() + pad + element("in", group.in) + pad + element("out", group.out) + pad +
         element("start", group.start) + pad + element("end", group.start + group.duration);
}

// The file's own timecode, as editors match it against the media.
std::string timecode_block(const Timecode& timecode) {
  const std::string rate = rate_element(timecode_fps(timecode.rate), is_ntsc_rate(timecode.rate));
  const std::string format = timecode.drop_frame ? "DF" : "NDF";
  std::string block = "\n" + spaces(24) + "<timecode>";
  block += "\n" + spaces(28) + rate;
  block += "\n" + spaces(28) + "<string>" + timecode_text(timecode) + "</string>";
  block += "\n" + spaces(28) + element("frame", timecode.frame);
  block += "\n" + spaces(28) + "<displayformat>" + format + "</displayformat>";
  block += "\n" + spaces(24) + "</timecode>";
  return block;
}

// The file's sound: its format where the probe told its rate (a codec without a fixed depth is
// declared at 16 bits, as editors write it), and its channels.
std::string sound_block(const TimelineClip& clip) {
  const std::string channels = element("channelcount", clip.sound_channels);
  if (clip.sound_format.sample_rate <= 0)
    return "\n" + spaces(28) + "<audio>" + channels + "</audio>";
  const int depth = clip.sound_format.depth > 0 ? clip.sound_format.depth : 16;
  std::string block = "\n" + spaces(28) + "<audio>";
  block += "\n" + spaces(32) + "<samplecharacteristics>";
  block += "\n" + spaces(36) + element("depth", depth);
  block += "\n" + spaces(36) + element("samplerate", clip.sound_format.sample_rate);
  block += "\n" + spaces(32) + "</samplecharacteristics>";
  block += "\n" + spaces(32) + channels;
  block += "\n" + spaces(28) + "</audio>";
  return block;
}

std::string file_element(const TimelineClip& clip, const std::string& id, const std::string& name,
                         FrameSize frame) {
  const DeclaredRate rate = declared_rate(clip.picture);
  const FrameSize shown =
      clip.picture ? FrameSize{clip.picture->width, clip.picture->height} : frame;
  std::string text = "\n" + spaces(20) + "<file id=\"" + id + "\">";
  text += "\n" + spaces(24) + "<name>" + name + "</name>";
  text += "\n" + spaces(24) + "<pathurl>" + clip.pathurl + "</pathurl>";
  text += "\n" + spaces(24) + rate_element(rate.timebase, rate.ntsc);
  text += "\n" + spaces(24) + element("duration", clip.file_frames);
  if (clip.timecode)
    text += timecode_block(*clip.timecode);
  text += "\n" + spaces(24) + "<media>";
  text += "\n" + spaces(28) + "<video>";
  text += "\n" + spaces(32) + "<samplecharacteristics>";
  text += "\n" + spaces(36) + element("width", shown.width);
  text += "\n" + spaces(36) + element("height", shown.height);
  text += "\n" + spaces(32) + "</samplecharacteristics>";
  text += "\n" + spaces(28) + "</video>";
  if (clip.sound_channels > 0)
    text += sound_block(clip);
  text += "\n" + spaces(24) + "</media>";
  text += "\n" + spaces(20) + "</file>";
  return text;
}

std::string video_item(const ItemGroup& group, FrameSize frame) {
  const std::string name = xml_character_data(group.clip->name);
  const std::string file_id = "file" + std::to_string(group.file_number);
  std::string item = "\n" + spaces(16) + "<clipitem id=\"" + video_id(group) + "\">";
  item += item_timing(group, name);
  if (group.declares_file)
    item += file_element(*group.clip, file_id, name, frame);
  else
    item += "\n" + spaces(20) + "<file id=\"" + file_id + "\"/>";
  item += links(group);
  item += "\n" + spaces(16) + "</clipitem>";
  return item;
}

std::string audio_item(const ItemGroup& group, size_t channel) {
  std::string item = "\n" + spaces(16) + "<clipitem id=\"" + audio_id(group, channel) + "\">";
  item += item_timing(group, xml_character_data(group.clip->name));
  item += "\n" + spaces(20) + "<file id=\"file" + std::to_string(group.file_number) + "\"/>";
  item += "\n" + spaces(20) + "<sourcetrack><mediatype>audio</mediatype>" +
          element("trackindex", static_cast<long long>(channel)) + "</sourcetrack>";
  item += links(group);
  item += "\n" + spaces(16) + "</clipitem>";
  return item;
}

}  // namespace

long long seconds_to_frames(double seconds) {
  return truncated_frames(seconds * TIMELINE_FPS);
}

long long clip_duration_frames(double t_start, double t_end) {
  return std::max(1LL, seconds_to_frames(t_end - t_start));
}

void describe_file(TimelineClip& clip, const ClipFacts& facts) {
  clip.sound_channels = facts.sound_channels.value_or(2);
  clip.timecode = facts.timecode;
  clip.picture = facts.picture;
  clip.sound_format = facts.sound_format;
  clip.joins = facts.cuts;
  clip.file_frames =
      facts.picture && facts.picture->rate
          ? frames_reaching(facts.duration, declared_rate(facts.picture).per_second())
          : seconds_to_frames(facts.duration);
}

std::string xml_character_data(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '&')
      escaped += "&amp;";
    else if (c == '<')
      escaped += "&lt;";
    else
      escaped += c;
  }
  return escaped;
}

std::string timeline_document(const std::string& sequence_name, FrameSize frame,
                              const std::vector<TimelineClip>& clips) {
  const std::vector<ItemGroup> groups = lay_out(clips);
  long long sequence_frames = 0;
  size_t audio_tracks = 1;
  for (const ItemGroup& group : groups) {
    sequence_frames += group.duration;
    audio_tracks = std::max(audio_tracks, group.places.size());
  }

  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  doc += "<!DOCTYPE xmeml>\n";
  doc += "<xmeml version=\"5\">\n";
  doc += spaces(4) + "<sequence>\n";
  doc += spaces(8) + "<name>" + sequence_name + "</name>\n";
  doc += spaces(8) + element("duration", sequence_frames) + "\n";
  doc += spaces(8) + rate_element() + "\n";
  doc += spaces(8) + "<media>\n";
  doc += spaces(12) + "<video>\n";
  doc += spaces(16) + "<format>\n";
  doc += spaces(20) + "<samplecharacteristics>\n";
  doc += spaces(24) + element("width", frame.width) + "\n";
  doc += spaces(24) + element("height", frame.height) + "\n";
  doc += spaces(24) + "<pixelaspectratio>square</pixelaspectratio>\n";
  doc += spaces(24) + rate_element() + "\n";
  doc += spaces(20) + "</samplecharacteristics>\n";
  doc += spaces(16) + "</format>\n";
  doc += spaces(16) + "<track>";
  for (const ItemGroup& group : groups)
    doc += video_item(group, frame);
  doc += "</track>\n";
  doc += spaces(12) + "</video>\n";
  doc += spaces(12) + "<audio><track>";
  for (size_t channel = 1; channel <= audio_tracks; ++channel) {
    if (channel > 1)
      doc += "</track>\n" + spaces(12) + "<track>";
    for (const ItemGroup& group : groups) {
      if (group.places.size() >= channel)
        doc += audio_item(group, channel);
    }
  }
  doc += "</track></audio>\n";
  doc += spaces(8) + "</media>\n";
  doc += spaces(4) + "</sequence>\n";
  doc += "</xmeml>";
  return doc;
}
