#include "export/master_groups.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "export/export_messages.h"
#include "media/ffmpeg_command.h"
#include "media/path_argument.h"
#include "media/process.h"
#include "media/run_progress.h"
#include "settings/atomic_file.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr int FPS = 60;
constexpr size_t GROUP_ERROR_TAIL = 600;
constexpr size_t JOIN_ERROR_TAIL = 800;

std::string group_name(size_t group, const std::string& extension) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "part_%04zu", group);
  return digits + extension;
}

// The sound format as the filter graph and the raw samples name it: the rate and the count of
// channels, in FFmpeg's standard layout for that count.
std::string layout_of(const ClipAudio& format) {
  return std::to_string(format.channels) + "c";
}

// One clip's picture and sound, `frames` and `samples` long, labelled [v<k>] and [a<k>]. The
// picture starts at the clip's start (the first frame held if it comes later) and is held at
// its end if it runs short; the sound starts there too and is padded with silence where the
// clip's own sound ends before its span does.
std::string clip_graph(size_t k, const GroupClip& clip, int64_t frames, int64_t samples,
                       FrameSize frame, const ClipAudio& format) {
  const std::string input = std::to_string(k);
  const std::string rate = std::to_string(format.sample_rate);
  std::string graph =
      "[" + input + ":v:0]" + fit_to_frame_filter(frame, FitFinish::square_yuv420p, clip.fit) +
      ",fps=" + std::to_string(FPS) +
      ":start_time=0,tpad=stop_mode=clone:stop=-1,trim=end_frame=" + std::to_string(frames) + "[v" +
      input + "];";
  graph += clip.has_sound ? "[" + input + ":a:" + std::to_string(clip.sound_track) +
                                "]aresample=" + rate + ":async=1:first_pts=0,"
                          : "anullsrc=r=" + rate + ":cl=" + layout_of(format) + ",";
  graph += "aformat=sample_fmts=flt:channel_layouts=" + layout_of(format) +
           ",apad=whole_len=" + std::to_string(samples) +
           ",atrim=end_sample=" + std::to_string(samples) + "[a" + input + "];";
  return graph;
}

// Appends the samples of `piece` to `joined`.
void append_samples(const fs::path& piece, const fs::path& joined) {
  std::ifstream in(piece, std::ios::binary);
  std::ofstream out(joined, std::ios::binary | std::ios::app);
  if (in && out && in.peek() != std::ifstream::traits_type::eof())
    out << in.rdbuf();
  if (!in || !out || !out.flush())
    throw std::runtime_error("Temporäre Tondatei konnte nicht geschrieben werden: " +
                             path_to_utf8(joined));
}

}  // namespace

std::vector<ClipEnd> clip_ends(const std::vector<double>& spans, int sample_rate) {
  std::vector<ClipEnd> ends;
  double sum = 0.0;
  int64_t frame = 0;
  for (const double span : spans) {
    sum += span;
    frame = std::max<int64_t>(frame + 1, std::llround(sum * FPS));
    ends.push_back({frame, std::llround(sum * sample_rate)});
  }
  return ends;
}

std::vector<std::string> group_command(const std::vector<GroupClip>& clips, ClipEnd start,
                                       const std::vector<ClipEnd>& ends, FrameSize frame,
                                       const ClipAudio& sound_format,
                                       const std::vector<std::string>& colour_tags,
                                       const std::string& picture, const std::string& sound) {
  std::vector<std::string> args = {"ffmpeg", "-y", "-nostdin"};
  std::string graph;
  std::string pictures;
  std::string sounds;
  ClipEnd previous = start;
  for (size_t k = 0; k < clips.size(); ++k) {
    const GroupClip& clip = clips[k];
    // One decoding thread each: every clip's decoder stays open for the whole run, and only one
    // of them works at a time.
    args.insert(args.end(), {"-threads", "1"});
    // A clip used from its start is not sought: a seek to 0 would, in Matroska, hand the
    // encoder's lead-in of the sound to the decoder as if it were sound.
    if (clip.cut.t_start != 0.0)
      args.insert(args.end(), {"-ss", double_text(clip.cut.t_start)});
    args.insert(args.end(), {"-t", double_text(clip.cut.dur), "-i", path_argument(clip.path)});
    graph += clip_graph(k, clip, ends[k].frame - previous.frame, ends[k].sample - previous.sample,
                        frame, sound_format);
    pictures += "[v" + std::to_string(k) + "]";
    sounds += "[a" + std::to_string(k) + "]";
    previous = ends[k];
  }
  // Picture and sound are joined apart, each clip by its own length: joined together, the
  // shorter of the two would be padded to the longer at every join.
  const std::string count = std::to_string(clips.size());
  graph += pictures + "concat=n=" + count + ":v=1:a=0[v];" + sounds + "concat=n=" + count +
           ":v=0:a=1[a]";
  args.insert(args.end(), {"-filter_complex", graph, "-map", "[v]"});
  append_args(args, h264_args());
  append_args(args, colour_tags);
  args.insert(args.end(), {path_argument(picture), "-map", "[a]", "-c:a", "pcm_f32le", "-f",
                           "f32le", path_argument(sound)});
  return args;
}

std::vector<std::string> master_mux_command(const std::string& picture_list,
                                            const std::string& sound, const ClipAudio& sound_format,
                                            const std::string& out,
                                            const std::string& sound_filter) {
  std::vector<std::string> args = {"ffmpeg",
                                   "-y",
                                   "-nostdin",
                                   "-f",
                                   "concat",
                                   "-safe",
                                   "0",
                                   "-i",
                                   path_argument(picture_list),
                                   "-f",
                                   "f32le",
                                   "-ar",
                                   std::to_string(sound_format.sample_rate),
                                   "-ac",
                                   std::to_string(sound_format.channels),
                                   "-i",
                                   path_argument(sound),
                                   "-map",
                                   "0:v:0",
                                   "-map",
                                   "1:a:0",
                                   "-c:v",
                                   "copy"};
  if (!sound_filter.empty())
    args.insert(args.end(), {"-af", sound_filter});
  append_args(args, aac_args());
  args.insert(args.end(), {"-movflags", "+faststart", path_argument(out)});
  return args;
}

void run_master_in_groups(const std::vector<GroupClip>& clips, FrameSize frame,
                          const ClipAudio& sound_format,
                          const std::vector<std::string>& colour_tags, const fs::path& temporary,
                          const std::string& extension, const std::string& out,
                          const MessageFn& log, const ProgressFn& progress,
                          std::optional<double> loudness_target) {
  std::vector<double> spans;
  for (const GroupClip& clip : clips)
    spans.push_back(clip.cut.dur);
  const std::vector<ClipEnd> ends = clip_ends(spans, sound_format.sample_rate);
  const auto start_frame = [&](size_t i) { return i == 0 ? int64_t{0} : ends[i - 1].frame; };

  // Each clip's counter is logged when the run of its group reaches it, so the bar stands at the
  // clip that is being encoded and moves within its share.
  size_t announced = 0;
  const auto announce_through = [&](size_t i) {
    for (; announced <= i; ++announced) {
      log(clip_counter_message(announced + 1, clips.size(), file_name_of(clips[announced].path)));
      if (clips[announced].cut.handle_message)
        log(*clips[announced].cut.handle_message);
    }
  };

  const fs::path sound = temporary / "sound.pcm";
  std::vector<std::string> pictures;
  for (size_t first = 0; first < clips.size(); first += CLIPS_PER_GROUP) {
    const size_t last = std::min(clips.size(), first + CLIPS_PER_GROUP);
    const std::vector<GroupClip> group(clips.begin() + first, clips.begin() + last);
    std::string names;
    for (size_t i = first; i < last; ++i)
      names += (names.empty() ? "" : ", ") + file_name_of(clips[i].path);
    const ClipEnd start = first == 0 ? ClipEnd{} : ends[first - 1];
    const int64_t group_frames = ends[last - 1].frame - start.frame;
    announce_through(first);
    ProgressFn within_clip;
    if (progress) {
      within_clip = [&, last](double done) {
        const double at =
            static_cast<double>(start.frame) + done * static_cast<double>(group_frames);
        while (announced < last && at >= static_cast<double>(start_frame(announced)))
          announce_through(announced);
        const size_t current = announced - 1;
        const double length = static_cast<double>(ends[current].frame - start_frame(current));
        progress((at - static_cast<double>(start_frame(current))) / length);
      };
    }
    const std::string picture = group_name(pictures.size(), extension);
    const fs::path piece = temporary / group_name(pictures.size(), ".pcm");
    const double group_seconds = static_cast<double>(group_frames) / static_cast<double>(FPS);
    const ProcessResult run = run_ffmpeg_with_progress(
        group_command(group, start, std::vector<ClipEnd>(ends.begin() + first, ends.begin() + last),
                      frame, sound_format, colour_tags, path_to_utf8(temporary / picture),
                      path_to_utf8(piece)),
        group_seconds, within_clip);
    if (run.exit_code != 0)
      throw std::runtime_error("Fehler bei " + names + ": " + utf8_tail(run.err, GROUP_ERROR_TAIL));
    announce_through(last - 1);
    append_samples(piece, sound);
    fs::remove(piece);
    pictures.push_back(picture);
  }

  log(JOINING_CLIPS);
  const fs::path list_file = temporary / "list.txt";
  write_file_atomically(list_file, concat_list_text(pictures));
  std::string sound_filter;
  if (loudness_target) {
    sound_filter = master_loudness_filter(
        {"-f", "f32le", "-ar", std::to_string(sound_format.sample_rate), "-ac",
         std::to_string(sound_format.channels), "-i", path_argument(path_to_utf8(sound))},
        *loudness_target, sound_format.sample_rate, log);
  }
  const ProcessResult joined = run_ffmpeg_with_progress(
      master_mux_command(path_to_utf8(list_file), path_to_utf8(sound), sound_format, out,
                         sound_filter),
      static_cast<double>(ends.back().frame) / static_cast<double>(FPS), progress);
  if (joined.exit_code != 0)
    throw std::runtime_error("Concat Fehler: " + utf8_tail(joined.err, JOIN_ERROR_TAIL));
}
