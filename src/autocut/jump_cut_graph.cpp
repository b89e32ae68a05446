#include "autocut/jump_cut_graph.h"

#include <algorithm>

#include "settings/number_text.h"

namespace {

// The fade over which the sound leaves and enters each join, so no join clicks.
constexpr double JOIN_FADE = 0.005;

// Seconds as the filters read them: to the microsecond, which is all they keep.
std::string seconds_text(double seconds) {
  return fixed_text(seconds, 6);
}

std::string label(const std::string& name, size_t number) {
  return "[" + name + std::to_string(number) + "]";
}

// The split points of a splitting filter over `spans`: each removal's start and end, less
// `before`. Its outputs alternate between a kept stretch (even) and a removal (odd).
std::string split_points(const std::vector<ClipSpan>& spans, double before) {
  std::string points;
  for (size_t i = 1; i < spans.size(); ++i) {
    points += (points.empty() ? "" : "|") + seconds_text(spans[i - 1].end - before) + "|" +
              seconds_text(spans[i].start - before);
  }
  return points;
}

// The outputs of a splitting filter into 2 * count - 1 pieces named `name` + their number, and
// the sink of every removal.
std::string split_outputs(const std::string& name, size_t count, const std::string& sink,
                          std::string& sinks) {
  std::string outputs;
  for (size_t piece = 0; piece < 2 * count - 1; ++piece) {
    outputs += label(name, piece);
    if (piece % 2 == 1)
      sinks += label(name, piece) + sink + ";";
  }
  return outputs;
}

}  // namespace

std::string jump_cut_graph(const std::vector<ClipSpan>& spans, double frame_step,
                           const std::optional<std::string>& picture_filter,
                           const std::vector<std::string>& sounds,
                           const std::vector<std::string>& sound_filters) {
  const size_t count = spans.size();
  std::string graph;
  std::string sinks;
  std::vector<std::string> inputs(count);  // of the join, per kept stretch
  if (picture_filter) {
    // A frame goes to the stretch in which it starts: the split lies half a frame before the
    // frame that begins a stretch, clear of the rounding of its time stamp.
    graph += "[0:v:0]segment=timestamps=" + split_points(spans, frame_step / 2.0) +
             split_outputs("p", count, "nullsink", sinks) + ";";
    for (size_t i = 0; i < count; ++i) {
      if (i == 0) {
        inputs[i] = label("p", 0);
        continue;
      }
      graph += label("p", 2 * i) + "setpts=PTS-" + seconds_text(spans[i].start) + "/TB" +
               label("v", i) + ";";
      inputs[i] = label("v", i);
    }
  }
  for (size_t track = 0; track < sounds.size(); ++track) {
    // Timed by its samples, as the take's analysis times it.
    const std::string name = "s" + std::to_string(track) + "_";
    graph += "[" + sounds[track] +
             "]asetpts=N/SR/TB,asegment=timestamps=" + split_points(spans, 0.0) +
             split_outputs(name, count, "anullsink", sinks) + ";";
    for (size_t i = 0; i < count; ++i) {
      const double length = spans[i].end - spans[i].start;
      const double fade = std::min(JOIN_FADE, length / 2.0);
      std::string chain = "asetpts=N/SR/TB";
      if (i > 0)
        chain += ",afade=t=in:d=" + seconds_text(fade);
      if (i + 1 < count)
        chain += ",afade=t=out:st=" + seconds_text(length - fade) + ":d=" + seconds_text(fade);
      const std::string joined = "j" + std::to_string(track) + "_";
      graph += label(name, 2 * i) + chain + label(joined, i) + ";";
      inputs[i] += label(joined, i);
    }
  }
  graph += sinks;
  for (const std::string& input : inputs)
    graph += input;
  graph += "concat=n=" + std::to_string(count) + ":v=" + (picture_filter ? "1" : "0") +
           ":a=" + std::to_string(sounds.size());
  if (picture_filter)
    graph += "[joined_v]";
  for (size_t track = 0; track < sounds.size(); ++track)
    graph += label("joined_a", track);
  if (picture_filter)
    graph += ";[joined_v]" + *picture_filter + "[v]";
  for (size_t track = 0; track < sounds.size(); ++track) {
    const bool filtered = track < sound_filters.size() && !sound_filters[track].empty();
    graph += ";" + label("joined_a", track) + (filtered ? sound_filters[track] : "anull") +
             label("a", track);
  }
  return graph;
}
