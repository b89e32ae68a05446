#include "export/timeline_xml.h"

#include <algorithm>
#include <cmath>

namespace {

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

// The lines an item shares between the tracks: name, duration, rate and its placement.
std::string item_timing(const TimelineClip& clip, const std::string& name, long long start) {
  const std::string pad = "\n" + spaces(20);
  return pad + "<name>" + name + "</name>" + pad + element("duration", clip.dur_f) + pad +
         rate_element() + pad + element("in", seconds_to_frames(clip.t_start)) + pad +
         element("out", seconds_to_frames(clip.t_end)) + pad + element("start", start) + pad +
         element("end", start + clip.dur_f);
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

std::string video_item(const TimelineClip& clip, size_t number, long long start, FrameSize frame) {
  const std::string name = xml_character_data(clip.name);
  const std::string id = std::to_string(number);
  std::string item = "\n" + spaces(16) + "<clipitem id=\"clip" + id + "\">";
  item += item_timing(clip, name, start);
  item += "\n" + spaces(20) + "<file id=\"file" + id + "\">";
  item += "\n" + spaces(24) + "<name>" + name + "</name>";
  item += "\n" + spaces(24) + "<pathurl>" + clip.pathurl + "</pathurl>";
  item += "\n" + spaces(24) + rate_element();
  item += "\n" + spaces(24) + element("duration", clip.file_frames);
  if (clip.timecode)
    item += timecode_block(*clip.timecode);
  item += "\n" + spaces(24) + "<media>";
  item += "\n" + spaces(28) + "<video>";
  item += "\n" + spaces(32) + "<samplecharacteristics>";
  item += "\n" + spaces(36) + element("width", frame.width);
  item += "\n" + spaces(36) + element("height", frame.height);
  item += "\n" + spaces(32) + "</samplecharacteristics>";
  item += "\n" + spaces(28) + "</video>";
  if (clip.sound_channels > 0) {
    item +=
        "\n" + spaces(28) + "<audio>" + element("channelcount", clip.sound_channels) + "</audio>";
  }
  item += "\n" + spaces(24) + "</media>";
  item += "\n" + spaces(20) + "</file>";
  item += "\n" + spaces(16) + "</clipitem>";
  return item;
}

std::string audio_item(const TimelineClip& clip, size_t number, long long start) {
  const std::string id = std::to_string(number);
  std::string item = "\n" + spaces(16) + "<clipitem id=\"audioclip" + id + "\">";
  item += item_timing(clip, xml_character_data(clip.name), start);
  item += "\n" + spaces(20) + "<file id=\"file" + id + "\"/>";
  item += "\n" + spaces(20) +
          "<sourcetrack><mediatype>audio</mediatype><trackindex>1</trackindex></sourcetrack>";
  item += "\n" + spaces(16) + "</clipitem>";
  return item;
}

}  // namespace

long long seconds_to_frames(double seconds) {
  return static_cast<long long>(std::trunc(seconds * TIMELINE_FPS));
}

long long clip_duration_frames(double t_start, double t_end) {
  return std::max(1LL, seconds_to_frames(t_end - t_start));
}

void describe_file(TimelineClip& clip, const ClipFacts& facts) {
  clip.sound_channels = facts.sound_channels.value_or(2);
  clip.timecode = facts.timecode;
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
  long long sequence_frames = 0;
  for (const TimelineClip& clip : clips)
    sequence_frames += clip.dur_f;

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
  long long start = 0;
  for (size_t i = 0; i < clips.size(); ++i) {
    doc += video_item(clips[i], i + 1, start, frame);
    start += clips[i].dur_f;
  }
  doc += "</track>\n";
  doc += spaces(12) + "</video>\n";
  doc += spaces(12) + "<audio><track>";
  start = 0;
  for (size_t i = 0; i < clips.size(); ++i) {
    if (clips[i].sound_channels > 0)
      doc += audio_item(clips[i], i + 1, start);
    start += clips[i].dur_f;
  }
  doc += "</track></audio>\n";
  doc += spaces(8) + "</media>\n";
  doc += spaces(4) + "</sequence>\n";
  doc += "</xmeml>";
  return doc;
}
