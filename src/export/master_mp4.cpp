#include "export/master_mp4.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "export/export_messages.h"
#include "export/master_groups.h"
#include "export/probe_ahead.h"
#include "media/ffmpeg_command.h"
#include "media/loudness.h"
#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "media/run_progress.h"
#include "media/sdr_conversion.h"
#include "media/sound_tracks.h"
#include "settings/atomic_file.h"
#include "settings/config.h"
#include "settings/error_log.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "settings/pending_files.h"
#include "settings/utf8.h"

namespace {

// A new folder "tavelmor_" + a random name in the system's temporary-files location.
fs::path create_temporary_folder() {
  return claim_temporary_path(
      "tavelmor_", "", [](const fs::path& folder) { return fs::create_directory(folder); },
      "Temporärer Ordner konnte nicht angelegt werden");
}

// ffprobe writes the sample rate as text, the channel count as a number.
int positive_integer_of(const Json& value) {
  if (value.is_number_integer())
    return value.get<int>();
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    if (!text.empty() && text.size() < 10 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::stoi(text);
    }
  }
  return 0;
}

}  // namespace

std::string master_extension(const std::vector<std::string>& files) {
  const bool any_mov = std::any_of(files.begin(), files.end(), [](const std::string& file) {
    return to_lower_ascii(extension_of(file)) == ".mov";
  });
  return any_mov ? ".mov" : ".mp4";
}

std::string normalized_clip_name(size_t index, const std::string& extension) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%04zu", index);
  return "norm_" + std::string(digits) + extension;
}

MasterClipCut master_clip_cut(double total, const std::optional<HandlePair>& handles) {
  MasterClipCut cut;
  double t_end = total;
  if (handles) {
    cut.t_start = handles->c_in;
    t_end = std::min(handles->c_out, total - 0.05);
    cut.handle_message =
        "Handle: " + fixed_text(handles->c_in, 2) + "s – " + fixed_text(t_end, 2) + "s";
  }
  cut.dur = t_end - cut.t_start;
  if (cut.dur < 0.3) {
    cut.t_start = 0.0;
    cut.dur = total;
  }
  return cut;
}

const char* const CLIP_AUDIO_ENTRIES =
    "codec_type,sample_rate,channels,channel_layout,width,height,sample_aspect_ratio,duration,"
    "color_transfer,color_primaries,color_space,color_range:stream_tags=duration";

ClipAudio parse_clip_audio(const std::string& ffprobe_json, size_t track) {
  ClipAudio audio;
  try {
    const Json probe = parse_json(ffprobe_json);
    const Json& streams = probe.at("streams");
    if (!streams.is_array())
      return audio;
    size_t seen = 0;
    const auto sound = std::find_if(streams.begin(), streams.end(), [&](const Json& stream) {
      return stream.is_object() && stream.value("codec_type", Json()) == "audio" && seen++ == track;
    });
    if (sound == streams.end()) {
      audio.presence = AudioPresence::absent;
      return audio;
    }
    audio.presence = AudioPresence::present;
    const Json& stream = *sound;
    const int rate = positive_integer_of(stream.value("sample_rate", Json()));
    if (rate > 0)
      audio.sample_rate = rate;
    const int channels = positive_integer_of(stream.value("channels", Json()));
    const std::string layout = stream.value("channel_layout", std::string());
    if (!layout.empty())
      audio.channel_layout = layout;
    else if (channels == 1)
      audio.channel_layout = "mono";
    if (channels > 0)
      audio.channels = channels;
    else if (audio.channel_layout == "mono")
      audio.channels = 1;
  } catch (const std::exception&) {
    return ClipAudio{};
  }
  return audio;
}

std::vector<std::string> normalisation_command(const std::string& clip, const MasterClipCut& cut,
                                               FrameSize frame, const std::string& out,
                                               const std::optional<ClipAudio>& silence,
                                               const ClipSource& source,
                                               const std::vector<std::string>& colour_tags) {
  std::vector<std::string> args = {"ffmpeg", "-y", "-nostdin", "-ss", double_text(cut.t_start),
                                   "-i",     clip};
  // The generated input stands before "-t", which must stay an output option.
  if (silence) {
    args.insert(args.end(), {"-f", "lavfi", "-i",
                             "anullsrc=channel_layout=" + silence->channel_layout +
                                 ":sample_rate=" + std::to_string(silence->sample_rate)});
  }
  std::string sound = "0:a?";
  if (silence)
    sound = "1:a:0";
  else if (source.sound_tracks >= 2)
    sound = "0:a:" + std::to_string(source.sound_track);
  args.insert(args.end(), {"-t", double_text(cut.dur), "-map", "0:v:0", "-map", sound, "-vf",
                           fit_to_frame_filter(frame, FitFinish::square_yuv420p, source.fit)});
  append_args(args, h264_args());
  append_args(args, colour_tags);
  append_args(args, aac_args());
  args.insert(args.end(), {"-r", "60", "-movflags", "+faststart", out});
  return args;
}

std::vector<std::string> concat_command(const std::string& list_file, const std::string& out,
                                        const std::vector<std::string>& colour_tags,
                                        const std::string& sound_filter) {
  std::vector<std::string> args = {"ffmpeg", "-y", "-nostdin", "-f",     "concat",
                                   "-safe",  "0",  "-i",       list_file};
  append_args(args, h264_args());
  append_args(args, colour_tags);
  if (!sound_filter.empty())
    args.insert(args.end(), {"-af", sound_filter});
  append_args(args, aac_args());
  args.insert(args.end(), {"-movflags", "+faststart", out});
  return args;
}

std::string master_loudness_filter(const std::vector<std::string>& input, double target,
                                   int sample_rate, const MessageFn& log) {
  const std::optional<double> measured = measure_loudness(input);
  log(loudness_message(measured, target));
  const std::optional<double> gain = loudness_gain(measured, target);
  return gain ? loudness_filter(*gain, sample_rate) : "";
}

std::string concat_list_text(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    std::string quoted;
    for (const char c : name)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += "file '" + quoted + "'\n";
  }
  return text;
}

namespace {

// A clip's probe, or the failure it met; the failure counts when the clip's turn comes.
struct ProbedClip {
  std::optional<FileProbe> probe;
  std::exception_ptr failure;

  const FileProbe& get() const {
    if (failure)
      std::rethrow_exception(failure);
    return *probe;
  }
};

// Every clip probed, a few at once, before the first is handled: the route depends on all.
std::vector<ProbedClip> probe_clips(const std::vector<std::string>& files) {
  const auto probe_of = probe_files_ahead(files, CLIP_AUDIO_ENTRIES, probes_at_once());
  std::vector<ProbedClip> probed(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    try {
      probed[i].probe = probe_of(i);
    } catch (const std::exception&) {
      probed[i].failure = std::current_exception();
    }
  }
  return probed;
}

// The format of the master's sound, and of the silence for clips without sound: the first clip
// with sound gives it, so the joined track does not change its format midway.
ClipAudio master_sound_format(const std::vector<ClipAudio>& audio) {
  for (const ClipAudio& clip : audio) {
    if (clip.presence == AudioPresence::present)
      return clip;
  }
  return ClipAudio{};
}

// Each clip normalised on its own, then the normalised clips joined and encoded once more: the
// route for lists whose probes do not allow the picture to be encoded once.
void run_master_clip_by_clip(const std::vector<std::string>& files,
                             const std::vector<ProbedClip>& probed,
                             const std::vector<ClipAudio>& audio,
                             const std::vector<ClipSource>& sources,
                             const std::vector<std::string>& colour_tags, FrameSize frame,
                             const fs::path& temporary, const std::string& extension,
                             const std::string& output, const MessageFn& log,
                             const ProgressFn& progress, std::optional<double> loudness_target) {
  const ClipAudio silence_format = master_sound_format(audio);
  const size_t n = files.size();
  std::vector<std::string> names;
  double master_seconds = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const std::string clip_name = file_name_of(files[i]);
    log(clip_counter_message(i + 1, n, clip_name));
    const std::string name = normalized_clip_name(i, extension);
    const FileProbe& probe = probed[i].get();
    if (picture_missing_in_probe_json(probe.json))
      throw std::runtime_error(no_picture_message(clip_name));
    const MasterClipCut cut = master_clip_cut(probe.duration, handles_from_probe_json(probe.json));
    if (cut.handle_message)
      log(*cut.handle_message);
    std::optional<ClipAudio> silence;
    if (audio[i].presence == AudioPresence::absent)
      silence = silence_format;
    const ProcessResult result = run_ffmpeg_with_progress(
        normalisation_command(path_argument(files[i]), cut, frame,
                              path_argument(path_to_utf8(temporary / name)), silence, sources[i],
                              colour_tags),
        cut.dur, progress);
    if (result.exit_code != 0)
      throw std::runtime_error("Fehler bei " + clip_name + ": " + utf8_tail(result.err, 600));
    names.push_back(name);
    master_seconds += cut.dur;
  }

  log(JOINING_CLIPS);
  const fs::path list_file = temporary / "list.txt";
  write_file_atomically(list_file, concat_list_text(names));
  const std::string list = path_argument(path_to_utf8(list_file));
  std::string sound_filter;
  if (loudness_target) {
    sound_filter = master_loudness_filter({"-f", "concat", "-safe", "0", "-i", list},
                                          *loudness_target, silence_format.sample_rate, log);
  }
  const ProcessResult joined = run_ffmpeg_with_progress(
      concat_command(list, path_argument(output), colour_tags, sound_filter), master_seconds,
      progress);
  if (joined.exit_code != 0)
    throw std::runtime_error("Concat Fehler: " + utf8_tail(joined.err, 800));
}

// The clips for the picture encoded once, or nothing when a probe failed, a clip has no picture
// or its probe does not tell its sound.
std::optional<std::vector<GroupClip>> clips_for_groups(const std::vector<std::string>& files,
                                                       const std::vector<ProbedClip>& probed,
                                                       const std::vector<ClipAudio>& audio,
                                                       const std::vector<ClipSource>& sources) {
  std::vector<GroupClip> clips;
  for (size_t i = 0; i < files.size(); ++i) {
    if (probed[i].failure || !has_picture_in_probe_json(probed[i].probe->json) ||
        audio[i].presence == AudioPresence::unknown)
      return std::nullopt;
    const FileProbe& probe = *probed[i].probe;
    clips.push_back({files[i], master_clip_cut(probe.duration, handles_from_probe_json(probe.json)),
                     audio[i].presence == AudioPresence::present, sources[i].sound_track,
                     sources[i].fit});
  }
  return clips;
}

// How each probed clip goes into the master: its picture's fit (FFmpeg's filters are asked for
// at the first HDR clip) and its speech track, which takes one more run for a clip with several
// sound tracks. Clips whose probe failed keep the defaults: they fail at their turn.
std::vector<ClipSource> clip_sources(const std::vector<std::string>& files,
                                     const std::vector<ProbedClip>& probed) {
  SdrConversionQuery conversion;
  std::vector<ClipSource> sources(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    if (!probed[i].probe)
      continue;
    const std::string& json = probed[i].probe->json;
    ClipSource& source = sources[i];
    source.fit = picture_fit(picture_from_probe_json(json), [&] { return conversion(); });
    source.sound_tracks = static_cast<size_t>(sound_track_count_in_probe_json(json));
    source.sound_track = speech_track(files[i], source.sound_tracks);
  }
  return sources;
}

// The master's colour tags: BT.709 on every part when any clip was brought to SDR, so the parts
// say the same; none otherwise.
std::vector<std::string> master_colour_tags(const std::vector<ClipSource>& sources) {
  for (const ClipSource& source : sources) {
    if (const std::vector<std::string> tags = colour_tag_args(source.fit); !tags.empty())
      return tags;
  }
  return {};
}

}  // namespace

void run_master_mp4(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                    const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                    const ProgressFn& progress) {
  std::optional<PendingFile> temporary_folder;
  try {
    const FrameSize frame = frame_size_for(json_plain_text(cfg.at("resolution")));
    const std::optional<double> loudness_target = loudness_target_of(cfg);
    const fs::path output_folder = path_from_utf8(json_plain_text(cfg.at("output_folder")));
    fs::create_directories(output_folder);
    const std::string extension = master_extension(files);
    const std::string output = path_to_utf8(output_folder / ("master_video" + extension));
    const fs::path temporary = temporary_folder.emplace(create_temporary_folder()).path();
    log(extension == ".mov" ? "MOV-Quelle erkannt – Master-Export bleibt MOV."
                            : "Master-Export wird als MP4 erstellt.");

    // The master is made beside its final name and takes it only when complete, so a failed or
    // interrupted export leaves an earlier master as it was.
    const PendingFile master(output_folder / ("master_video.partial" + extension));
    const std::vector<ProbedClip> probed = probe_clips(files);
    const std::vector<ClipSource> sources = clip_sources(files, probed);
    const std::vector<std::string> colour_tags = master_colour_tags(sources);
    std::vector<ClipAudio> audio;
    for (size_t i = 0; i < files.size(); ++i) {
      audio.push_back(probed[i].probe
                          ? parse_clip_audio(probed[i].probe->json, sources[i].sound_track)
                          : ClipAudio{});
    }
    if (const auto clips = clips_for_groups(files, probed, audio, sources)) {
      run_master_in_groups(*clips, frame, master_sound_format(audio), colour_tags, temporary,
                           extension, master.text(), log, progress, loudness_target);
    } else {
      run_master_clip_by_clip(files, probed, audio, sources, colour_tags, frame, temporary,
                              extension, master.text(), log, progress, loudness_target);
    }
    fs::rename(master.path(), path_from_utf8(output));

    log("Gespeichert: " + output);
    done(output);
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
  }
}
