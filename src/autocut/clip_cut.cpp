#include "autocut/clip_cut.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string_view>

#include "autocut/cut_messages.h"
#include "autocut/speech_bounds.h"
#include "media/ffmpeg_command.h"
#include "media/ffmpeg_tools.h"
#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "media/run_progress.h"
#include "media/sdr_conversion.h"
#include "media/sound_tracks.h"
#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "settings/pending_files.h"
#include "settings/utf8.h"

namespace {

constexpr double MIN_TAKE_REST = 2.0;    // material a pause must leave to start the last take
constexpr double TAKE_SILENCE = 0.2;     // minimum silence for the speech bounds of the take
constexpr double MIN_RESULT = 0.3;       // shorter trims are undone
constexpr double END_SILENCE = 0.1;      // minimum silence for the end-silence search
constexpr double END_SILENCE_GAP = 0.5;  // an end silence starts this long after trim_start
constexpr double END_MARGIN = 0.05;      // kept after the start of the end silence
constexpr size_t FFMPEG_ERROR_TAIL = 800;

const char* const HDR_TO_SDR = "HDR-Aufnahme – das Bild wird in SDR (BT.709) umgewandelt";

const std::set<std::string> MOV_FAMILY = {".mp4", ".m4v", ".mov", ".m4a"};

const Json& required_setting(const Json& cfg, const std::string& key) {
  const auto it = cfg.find(key);
  if (it == cfg.end())
    throw std::runtime_error("Einstellung fehlt: " + key);
  return *it;
}

// A setting that goes into FFmpeg's filter text: a number with its unit ("-35dB", "0.5", "500ms"),
// never a character that would end the option and start another option or filter.
std::string filter_setting(const Json& cfg, const std::string& key) {
  const std::string text = json_plain_text(required_setting(cfg, key));
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '+' || c == '-';
  });
  if (!plain)
    throw std::runtime_error("Ungültiger Wert für " + key + ": " + text);
  return text;
}

// The suffix becomes part of the clip's file name: it may neither lead into another folder nor
// hold a character that a file name on the desktop systems cannot.
std::string name_suffix(const Json& cfg) {
  const std::string text = json_plain_text(required_setting(cfg, "suffix"));
  const bool fits = std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
  });
  if (!fits)
    throw std::runtime_error("Ungültiger Wert für suffix: " + text);
  return text;
}

// A settings value as seconds, the way the settings file may hold it: a number, a boolean or a
// number written as text.
double setting_seconds(const Json& cfg, const std::string& key, double fallback) {
  const auto it = cfg.find(key);
  if (it == cfg.end())
    return fallback;
  if (it->is_boolean())
    return it->get<bool>() ? 1.0 : 0.0;
  if (it->is_number())
    return it->get<double>();
  if (it->is_string()) {
    if (const auto value = number_from_text(it->get_ref<const std::string&>()))
      return *value;
  }
  throw std::runtime_error("Ungültiger Zahlenwert für " + key + ": " + json_plain_text(*it));
}

// Speech bounds of the take that starts at `take_start`, in seconds within the take, from one
// FFmpeg run that seeks there and decodes only the sound: it gives the take's silences and its
// length. The run decodes the take exactly from `take_start` (a stream copy would start at the
// keyframe before it in containers without edit lists, Matroska for one, and every bound would
// land that far too late), and FFmpeg picks the sound track as it does for the analysis of the
// whole recording, so both look at the same track. The two messages stay, in their order, for
// the progress they stand for. With several sound tracks both look at the speech track.
SpeechBounds take_speech_bounds(const std::string& fp, double take_start, const std::string& thresh,
                                double padding, const MessageFn& log, const SoundReachedFn& reached,
                                size_t track, size_t tracks) {
  log(EXTRACTING_LAST_TAKE);
  log(TRIMMING_BY_SILENCE);
  const SoundFrom take = detect_silences_from(fp, take_start, thresh, double_text(TAKE_SILENCE),
                                              log, reached, track, tracks);
  return find_speech_bounds(take.length, take.silences, padding, log);
}

bool in_mov_family(const std::string& path) {
  return MOV_FAMILY.count(to_lower_ascii(extension_of(path))) > 0;
}

// The clip's timecode for the encode: where the source carries one, the source's moved on to the
// clip's first frame, for the container and for the video stream (from which the MOV family
// writes its tmcd track). An empty value where that frame cannot be known (no frame rate, a text
// that is no timecode, sound alone), so FFmpeg does not copy the source's one unchanged. The MOV
// family, which writes every container tag for the handle tags' sake, keeps the timecode on its
// tmcd track alone.
std::vector<std::string> timecode_args(const std::optional<ProbedTimecode>& source, bool audio,
                                       double trim_start, const std::string& out) {
  if (!source)
    return {};
  std::string text;
  if (source->start && !audio) {
    const FrameRate rate = source->start->rate;
    text = timecode_text(
        add_frames(*source->start, first_frame_at(trim_start - source->first_frame_at, rate)));
  }
  std::vector<std::string> args = {"-metadata", "timecode=" + (in_mov_family(out) ? "" : text)};
  if (!audio)
    args.insert(args.end(), {"-metadata:s:v:0", "timecode=" + text});
  return args;
}

// What the encode takes from the recording: its sound tracks, with the speech first, and how its
// picture is fitted.
struct EncodeSource {
  size_t speech_track = 0;
  size_t sound_tracks = 1;
  PictureFit fit;
};

// The encode writes the handle tags itself: the content span is known before it starts.
std::vector<std::string> encode_args(const std::string& fp, bool audio, const FrameSize& frame,
                                     const AudioOutput& audio_output, const EncodeSource& source,
                                     double trim_start, double duration,
                                     const std::vector<std::string>& timecode, double c_in,
                                     double c_out, const std::string& out) {
  std::vector<std::string> args = {
      "ffmpeg",          "-y", "-nostdin",           "-ss", double_text(trim_start), "-i",
      path_argument(fp), "-t", double_text(duration)};
  if (audio) {
    args.insert(args.end(), {"-map", "0:a:" + std::to_string(source.speech_track), "-vn"});
    args.insert(args.end(), audio_output.codec_args.begin(), audio_output.codec_args.end());
  } else {
    args.insert(args.end(), {"-map", "0:v:0"});
    append_args(args, sound_track_maps(source.speech_track, source.sound_tracks));
    args.insert(args.end(),
                {"-vf", fit_to_frame_filter(frame, FitFinish::square_yuv420p, source.fit)});
    append_args(args, h264_args());
    append_args(args, colour_tag_args(source.fit));
    append_args(args, aac_args());
    // The MOV family gets faststart with the tag flags.
    if (!in_mov_family(out))
      args.insert(args.end(), {"-movflags", "+faststart"});
  }
  args.insert(args.end(), timecode.begin(), timecode.end());
  const std::vector<std::string> tags = handle_tag_args(out, c_in, c_out);
  args.insert(args.end(), tags.begin(), tags.end());
  args.push_back(path_argument(out));
  return args;
}

// What the analysis of the whole recording throws from its progress report once another analysis
// has replaced it: no failure of the cut, just the end of that run.
struct AnalysisReplaced {};

// How far an analysis of the whole recording got, told as a share of `span` once that is known
// (until then it stays 0); with `replaced` set the run stops at its next report.
SoundReachedFn analysis_progress(const ProgressFn& progress, const std::atomic<double>& span,
                                 const std::atomic<bool>* replaced) {
  return [&progress, &span, replaced](double seconds) {
    if (replaced && *replaced)
      throw AnalysisReplaced{};
    const double known = span.load();
    if (progress && known > 0.0)
      progress(seconds / known);
  };
}

// A file in the folder of `out` named stem + `marker` + extension, so FFmpeg writes the same
// container into it.
fs::path beside(const std::string& out, const std::string& marker) {
  return path_from_utf8(out).parent_path() /
         path_from_utf8(stem_of(out) + marker + extension_of(out));
}

// The length of a recording that states none: how far its analysis read it. A recording from
// which not even that could read anything fails rather than give a clip of no length.
double analysed_length(const SilenceAnalysis& analysis, const std::string& fp) {
  const std::optional<double> length = analysis.get().length;
  if (!length || !(*length > 0.0))
    throw no_duration_failure(fp);
  return *length;
}

void cut_recording(const std::string& fp, const Json& cfg, const MessageFn& log,
                   const MessageFn& done, const ProgressFn& progress) {
  log("Datei: " + file_name_of(fp));
  const FrameSize frame = frame_size_for(json_plain_text(required_setting(cfg, "resolution")));
  const std::string output_folder = json_plain_text(required_setting(cfg, "output_folder"));
  fs::create_directories(path_from_utf8(output_folder));

  const bool audio = is_audio_file(fp);
  const AudioOutput& audio_output = audio_output_for(extension_of(fp));
  const std::string out = clip_output_path(fp, output_folder, name_suffix(cfg));
  // With an empty suffix in the recording's own folder the clip would take the recording's place.
  std::error_code unknown;
  if (fs::equivalent(path_from_utf8(fp), path_from_utf8(out), unknown))
    throw std::runtime_error("Clip und Aufnahme wären dieselbe Datei: " + file_name_of(fp));
  if (audio)
    log("Tondatei – Ergebnis wird wieder eine Tondatei");

  // The analysis of the whole recording needs nothing from the probe: it runs beside it, one run
  // for the search of the take and for the end silence. Should the probe fail, its failure
  // counts, as it would without the analysis.
  const std::string thresh = filter_setting(cfg, "silence_threshold");
  const std::string pause_length = filter_setting(cfg, "silence_duration");
  // It starts at once, but moves the bar only within its own step, once the cut waits for it and
  // the recording's length is known: until then its span stays 0.
  std::atomic<double> analysed_span{0.0};
  std::atomic<bool> replaced{false};
  const std::vector<std::string> lengths = {pause_length, double_text(END_SILENCE)};
  SilenceAnalysis analysis = start_silence_detection(
      fp, thresh, lengths, analysis_progress(progress, analysed_span, &replaced));
  const RecordingFacts facts = get_duration_and_sound(fp);
  if (!audio && facts.picture_missing)
    throw std::runtime_error("Kein Bild: " + file_name_of(fp) + " enthält keine Videospur");
  const size_t tracks = static_cast<size_t>(facts.sound_tracks);
  if (tracks >= 2) {
    // FFmpeg picked one of the tracks for the analysis started beside the probe, perhaps the
    // desktop's near-silent one: an analysis of every track replaces it, and the first run stops.
    replaced = true;
    const SilenceAnalysis all_tracks = start_silence_detection(
        fp, thresh, lengths, analysis_progress(progress, analysed_span, nullptr), tracks);
    analysis = all_tracks;
  }
  // A recording that states no length (a browser's WebM) is as long as the analysis read it.
  const double total = facts.duration ? *facts.duration : analysed_length(analysis, fp);
  log("Länge: " + fixed_text(total, 1) + "s");
  log(SEARCHING_LAST_TAKE);
  const MessageFn log_then_await = [&log, &analysed_span, total](const std::string& m) {
    log(m);
    analysed_span = total;
  };
  const std::vector<Silence> pauses =
      finish_silence_detection(analysis, 0, fp, total, log_then_await);
  log(std::to_string(pauses.size()) + " Pause(n) gefunden");
  const size_t speech_track = analysis.get().track;
  if (tracks >= 2) {
    log("Sprache auf Tonspur " + std::to_string(speech_track + 1) + " von " +
        std::to_string(tracks) + " (die lauteste)");
  }
  const double take_start =
      last_take_start(pauses, total, setting_seconds(cfg, "add_padding", 0.0));
  log("Letzter Take ab: " + fixed_text(take_start, 2) + "s (" + fixed_text(total - take_start, 1) +
      "s verbleiben)");

  double trim_start = take_start;
  double trim_end = total;
  const auto trim_silence = cfg.find("trim_silence");
  if (trim_silence == cfg.end() || !json_is_empty(*trim_silence)) {
    const double padding = setting_seconds(cfg, "trim_padding", 0.1);
    if (facts.has_sound) {
      const SoundReachedFn take_reached = [&progress, span = total - take_start](double seconds) {
        if (progress && span > 0.0)
          progress(seconds / span);
      };
      const SpeechBounds bounds = take_speech_bounds(fp, take_start, thresh, padding, log,
                                                     take_reached, speech_track, tracks);
      trim_start = take_start + bounds.start;
      trim_end = take_start + bounds.end;
    } else {
      log(NO_SOUND_NO_TRIMMING);
    }
  }
  double duration = trim_end - trim_start;
  log("Ergebnis: " + fixed_text(trim_start, 2) + "s – " + fixed_text(trim_end, 2) + "s (" +
      fixed_text(duration, 1) + "s)");
  if (duration < MIN_RESULT) {
    log(TRIMMING_FALLBACK);
    trim_start = take_start;
    duration = total - take_start;
  }

  const std::vector<Silence> short_silences = finish_silence_detection(analysis, 1, fp, total, log);
  if (const auto cut = end_silence_cut(short_silences, trim_start)) {
    duration = *cut - trim_start;
    log(END_SILENCE_REMOVED + fixed_text(*cut, 2) + "s");
  }

  const double c_in = 0.0;
  const double c_out = duration;
  EncodeSource source;
  source.speech_track = speech_track;
  source.sound_tracks = tracks;
  if (!audio)
    source.fit = picture_fit(facts.picture, available_sdr_conversion);
  if (!source.fit.to_sdr.empty())
    log(HDR_TO_SDR);
  log(ENCODE_STARTS);
  // The clip is made beside its final name and takes that name only when it is complete, so a
  // failed or interrupted cut leaves an earlier clip of that name as it was.
  const PendingFile encoded(beside(out, ".partial"));
  const ProcessResult encode = run_ffmpeg_with_progress(
      encode_args(fp, audio, frame, audio_output, source, trim_start, duration,
                  timecode_args(facts.timecode, audio, trim_start, out), c_in, c_out,
                  encoded.text()),
      duration, progress);
  if (encode.exit_code != 0)
    throw std::runtime_error(utf8_tail(encode.err, FFMPEG_ERROR_TAIL));
  // Measured before it takes its name: after that the cut runs nothing that a cancel could stop,
  // so a clip under its final name is always a finished one.
  const double actual = get_duration(encoded.text());
  fs::rename(encoded.path(), path_from_utf8(out));

  log("Gespeichert: " + out);
  log("Inhalt " + fixed_text(c_in, 2) + "s-" + fixed_text(c_out, 2) + "s | Datei " +
      fixed_text(actual, 2) + "s | Überhang Ende: " + fixed_text(actual - c_out, 2) + "s");
  done(out);
}

}  // namespace

std::string clip_output_path(const std::string& fp, const std::string& output_folder,
                             const std::string& suffix) {
  std::string extension = extension_of(fp);
  if (is_audio_file(fp))
    extension = audio_output_for(extension).extension;
  else if (to_lower_ascii(extension) == ".webm")
    extension = ".mkv";
  return path_to_utf8(path_from_utf8(output_folder) /
                      path_from_utf8(stem_of(fp) + suffix + extension));
}

double last_take_start(const std::vector<Silence>& silences, double total, double add_padding) {
  for (auto it = silences.rbegin(); it != silences.rend(); ++it) {
    const double candidate = std::max(0.0, it->end - add_padding);
    if (total - candidate >= MIN_TAKE_REST)
      return candidate;
  }
  return 0.0;
}

std::optional<double> end_silence_cut(const std::vector<Silence>& silences, double trim_start) {
  for (auto it = silences.rbegin(); it != silences.rend(); ++it) {
    if (it->start > trim_start + END_SILENCE_GAP)
      return it->start + END_MARGIN;
  }
  return std::nullopt;
}

std::vector<std::string> handle_tag_args(const std::string& out, double c_in, double c_out) {
  std::vector<std::string> args = {"-metadata", "TAVELMOR_C_IN=" + tag_seconds_text(c_in),
                                   "-metadata", "TAVELMOR_C_OUT=" + tag_seconds_text(c_out)};
  if (in_mov_family(out)) {
    // FFmpeg lists the recording's file brand among its tags; written as a tag of its own it
    // would stand beside the clip's real brand and hide it from readers.
    args.insert(args.end(),
                {"-metadata", "major_brand=", "-metadata", "minor_version=", "-metadata",
                 "compatible_brands=", "-movflags", "+faststart+use_metadata_tags"});
  }
  return args;
}

void run_cut(const std::string& fp, const Json& cfg, const MessageFn& log, const MessageFn& done,
             const MessageFn& err, const FixedPaths& paths, const ProgressFn& progress) {
  try {
    cut_recording(fp, cfg, log, done, progress);
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
  }
}
