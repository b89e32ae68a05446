#include "autocut/clip_cut.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string_view>

#include "autocut/cut_messages.h"
#include "autocut/cut_settings.h"
#include "autocut/jump_cut_graph.h"
#include "autocut/jump_cuts.h"
#include "autocut/speech_bounds.h"
#include "media/ffmpeg_command.h"
#include "media/ffmpeg_tools.h"
#include "media/loudness.h"
#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "media/run_progress.h"
#include "media/sdr_conversion.h"
#include "media/sound_tracks.h"
#include "settings/atomic_file.h"
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

// The take that starts at `take_start`, from one FFmpeg run that seeks there and decodes only the
// sound: its silences and its length, which give the speech bounds, and what jump cuts and even
// loudness need of it. The run decodes the take exactly from `take_start` (a stream copy would
// start at the keyframe before it in containers without edit lists, Matroska for one, and every
// bound would land that far too late), and FFmpeg picks the sound track as it does for the
// analysis of the whole recording, so both look at the same track. The two messages of the
// speech trim stay, in their order, for the progress they stand for. With several sound tracks
// it looks at the speech track.
SoundFrom analyse_take(const std::string& fp, double take_start, const CutSettings& settings,
                       const MessageFn& log, const SoundReachedFn& reached, size_t track,
                       size_t tracks) {
  if (settings.trim_silence) {
    log(EXTRACTING_LAST_TAKE);
    log(TRIMMING_BY_SILENCE);
  }
  SoundMeasures measures;
  // Pauses as short as the speech bounds' silences are in their report already.
  if (settings.cut_pauses && settings.pause_min < TAKE_SILENCE)
    measures.pause_length = double_text(settings.pause_min);
  measures.loudness = settings.loudness_target.has_value();
  return detect_silences_from(fp, take_start, settings.silence_threshold, double_text(TAKE_SILENCE),
                              log, reached, track, tracks, measures);
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

// How the encode shapes the clip beyond the span it cuts: the stretches it keeps when jump cuts
// join them, and the filter of each sound track it keeps (in their order), empty for none.
struct ClipShape {
  std::vector<ClipSpan> spans;  // in seconds of the span; two or more with jump cuts
  std::vector<double> joins;    // where they meet in the clip
  double frame_step = 0.0;
  std::vector<std::string> sound_filters;

  bool has_joins() const { return spans.size() >= 2; }
};

// The sound tracks the clip keeps, as numbers among the recording's sound tracks: the speech
// track alone for an audio file, every track for a video, the speech first.
std::vector<size_t> kept_sound_tracks(bool audio, const EncodeSource& source) {
  std::vector<size_t> tracks = {source.speech_track};
  for (size_t track = 0; !audio && track < source.sound_tracks; ++track) {
    if (track != source.speech_track)
      tracks.push_back(track);
  }
  return tracks;
}

// The filter that brings each kept track to the loudness target with `gain`: the same gain for
// every track keeps their balance.
std::vector<std::string> loudness_filters(double gain, const std::vector<size_t>& tracks,
                                          const std::vector<int>& rates) {
  std::vector<std::string> filters;
  for (const size_t track : tracks)
    filters.push_back(loudness_filter(gain, track < rates.size() ? rates[track] : 0));
  return filters;
}

// The jump cuts of the clip that starts `trim_start` into the recording and lasts `duration`,
// from the pauses that the take's analysis found, into `shape`; logs what they remove and
// returns its seconds. A clip that loses any pause then starts at its first picture (on `grid`),
// so every stretch starts on one and the sound of each begins with its picture.
double plan_jump_cuts(const SoundFrom& take, double take_start, const CutSettings& settings,
                      FrameGrid grid, double& trim_start, double& duration, ClipShape& shape,
                      const MessageFn& log) {
  // The take's times count from its start, the clip's from trim_start.
  std::vector<Silence> inner = take.pauses;
  for (Silence& pause : inner)
    pause = {pause.start - (trim_start - take_start), pause.end - (trim_start - take_start)};
  std::vector<Removal> removals =
      pause_removals(inner, duration, settings.pause_min, settings.pause_keep, grid);
  if (!removals.empty() && grid.first > 0.0) {
    // A microsecond early: FFmpeg reads the start to the microsecond, and a start a hair past
    // the picture would drop it.
    const double to_picture = grid.first - 1e-6;
    trim_start += to_picture;
    duration -= to_picture;
    for (Removal& removal : removals)
      removal = {removal.from - to_picture, removal.to - to_picture};
  }
  const double removed = removed_seconds(removals);
  log(JUMP_CUTS + std::to_string(removals.size()) + " Pause(n) entfernt, " +
      fixed_text(removed, 1) + "s gespart");
  if (!removals.empty()) {
    shape.spans = kept_spans(duration, removals);
    shape.joins = joins_of(removals);
    shape.frame_step = grid.step;
  }
  return removed;
}

// Graphs up to this length go on the command line, longer ones (a long recording with many
// pauses) into a file: a command line on Windows holds 32767 characters at most.
constexpr size_t INLINE_GRAPH_LIMIT = 8192;

// The arguments that hand FFmpeg the jump cuts' filter graph, and the file it is written to
// when it is too long for the command line.
struct GraphArgs {
  std::vector<std::string> args;
  std::optional<PendingFile> file;
};

void hand_over_graph(const std::string& graph, GraphArgs& handed) {
  if (graph.size() <= INLINE_GRAPH_LIMIT) {
    handed.args = {"-filter_complex", graph};
    return;
  }
  handed.file.emplace(fresh_temporary_path("tavelmor_graph_", ".txt"));
  write_file_atomically(handed.file->path(), graph);
  handed.args = {"-filter_complex_script", path_argument(handed.file->text())};
}

// The encode writes the handle tags itself: the content span is known before it starts. With
// jump cuts one filter graph selects and joins the kept stretches; `graph` hands it over.
std::vector<std::string> encode_args(const std::string& fp, bool audio, const FrameSize& frame,
                                     const AudioOutput& audio_output, const EncodeSource& source,
                                     const ClipShape& shape, const GraphArgs& graph,
                                     double trim_start, const std::vector<std::string>& timecode,
                                     double c_in, double c_out, const std::string& out) {
  std::vector<std::string> args = {
      "ffmpeg",          "-y", "-nostdin",        "-ss", double_text(trim_start), "-i",
      path_argument(fp), "-t", double_text(c_out)};
  if (shape.has_joins()) {
    append_args(args, graph.args);
    if (!audio)
      args.insert(args.end(), {"-map", "[v]"});
    const size_t tracks = kept_sound_tracks(audio, source).size();
    for (size_t track = 0; track < tracks; ++track)
      args.insert(args.end(), {"-map", "[a" + std::to_string(track) + "]"});
    if (!audio)
      append_args(args, sound_track_dispositions(tracks));
  } else if (audio) {
    args.insert(args.end(), {"-map", "0:a:" + std::to_string(source.speech_track), "-vn"});
  } else {
    args.insert(args.end(), {"-map", "0:v:0"});
    append_args(args, sound_track_maps(source.speech_track, source.sound_tracks));
    args.insert(args.end(),
                {"-vf", fit_to_frame_filter(frame, FitFinish::square_yuv420p, source.fit)});
  }
  if (!shape.has_joins()) {
    for (size_t track = 0; track < shape.sound_filters.size(); ++track) {
      if (!shape.sound_filters[track].empty())
        args.insert(args.end(), {"-filter:a:" + std::to_string(track), shape.sound_filters[track]});
    }
  }
  if (audio) {
    args.insert(args.end(), audio_output.codec_args.begin(), audio_output.codec_args.end());
  } else {
    append_args(args, h264_args());
    append_args(args, colour_tag_args(source.fit));
    append_args(args, aac_args());
    // The MOV family gets faststart with the tag flags.
    if (!in_mov_family(out))
      args.insert(args.end(), {"-movflags", "+faststart"});
  }
  args.insert(args.end(), timecode.begin(), timecode.end());
  append_args(args, handle_tag_args(out, c_in, c_out, shape.joins));
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
  // Read once, so the whole cut works with the settings as they were when it began.
  const CutSettings settings = cut_settings_from(cfg);
  fs::create_directories(path_from_utf8(settings.output_folder));

  const bool audio = is_audio_file(fp);
  const AudioOutput& audio_output = audio_output_for(extension_of(fp));
  const std::string out = clip_output_path(fp, settings.output_folder, settings.suffix);
  // With an empty suffix in the recording's own folder the clip would take the recording's place.
  std::error_code unknown;
  if (fs::equivalent(path_from_utf8(fp), path_from_utf8(out), unknown))
    throw std::runtime_error("Clip und Aufnahme wären dieselbe Datei: " + file_name_of(fp));
  if (audio)
    log("Tondatei – Ergebnis wird wieder eine Tondatei");

  // The analysis of the whole recording starts beside the probe without waiting for it, one run
  // for the search of the take and for the end silence; it needs only the probe's count of sound
  // tracks, and is replaced when there are several. Should the probe fail, its failure counts,
  // as it would without the analysis.
  const std::string& thresh = settings.silence_threshold;
  // It starts at once, but moves the bar only within its own step, once the cut waits for it and
  // the recording's length is known: until then its span stays 0.
  std::atomic<double> analysed_span{0.0};
  std::atomic<bool> replaced{false};
  const std::vector<std::string> lengths = {settings.silence_duration, double_text(END_SILENCE)};
  SilenceAnalysis analysis = start_silence_detection(
      fp, thresh, lengths, analysis_progress(progress, analysed_span, &replaced));
  const RecordingFacts facts = get_duration_and_sound(fp);
  if (!audio && facts.picture_missing)
    throw std::runtime_error("Kein Bild: " + file_name_of(fp) + " enthält keine Videospur");
  const size_t tracks = facts.sound_tracks();
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
  const double take_start = last_take_start(pauses, total, settings.add_padding);
  log("Letzter Take ab: " + fixed_text(take_start, 2) + "s (" + fixed_text(total - take_start, 1) +
      "s verbleiben)");

  double trim_start = take_start;
  double trim_end = total;
  // The take's analysis gives the speech bounds, and the pauses and the loudness where the
  // settings ask for them.
  std::optional<SoundFrom> take;
  const bool measures_take = settings.cut_pauses || settings.loudness_target;
  if (settings.trim_silence || measures_take) {
    if (facts.has_sound()) {
      const SoundReachedFn take_reached = [&progress, span = total - take_start](double seconds) {
        if (progress && span > 0.0)
          progress(seconds / span);
      };
      take = analyse_take(fp, take_start, settings, log, take_reached, speech_track, tracks);
      if (settings.trim_silence) {
        const SpeechBounds bounds =
            find_speech_bounds(take->length, take->silences, settings.trim_padding, log);
        trim_start = take_start + bounds.start;
        trim_end = take_start + bounds.end;
      }
    } else if (settings.trim_silence || settings.cut_pauses) {
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

  ClipShape shape;
  double removed = 0.0;
  if (settings.cut_pauses && take) {
    const FrameGrid grid = audio ? FrameGrid{} : clip_frame_grid(facts.picture, trim_start);
    removed = plan_jump_cuts(*take, take_start, settings, grid, trim_start, duration, shape, log);
  }

  const double c_in = 0.0;
  const double c_out = duration - removed;
  EncodeSource source;
  source.speech_track = speech_track;
  source.sound_tracks = tracks;
  if (settings.loudness_target && take) {
    log(loudness_message(take->loudness, *settings.loudness_target));
    if (const auto gain = loudness_gain(take->loudness, *settings.loudness_target))
      shape.sound_filters =
          loudness_filters(*gain, kept_sound_tracks(audio, source), facts.sound_rates);
  }
  if (!audio)
    source.fit = picture_fit(facts.picture, available_sdr_conversion);
  if (!source.fit.to_sdr.empty())
    log(HDR_TO_SDR);
  GraphArgs graph;
  if (shape.has_joins()) {
    const std::optional<std::string> picture =
        audio ? std::nullopt
              : std::optional<std::string>(
                    fit_to_frame_filter(settings.frame, FitFinish::square_yuv420p, source.fit));
    std::vector<std::string> sounds;
    for (const size_t track : kept_sound_tracks(audio, source))
      sounds.push_back("0:a:" + std::to_string(track));
    hand_over_graph(
        jump_cut_graph(shape.spans, shape.frame_step, picture, sounds, shape.sound_filters), graph);
  }
  log(ENCODE_STARTS);
  // The clip is made beside its final name and takes that name only when it is complete, so a
  // failed or interrupted cut leaves an earlier clip of that name as it was.
  const PendingFile encoded(beside(out, ".partial"));
  const ProcessResult encode = run_ffmpeg_with_progress(
      encode_args(fp, audio, settings.frame, audio_output, source, shape, graph, trim_start,
                  timecode_args(facts.timecode, audio, trim_start, out), c_in, c_out,
                  encoded.text()),
      c_out, progress);
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

std::vector<std::string> handle_tag_args(const std::string& out, double c_in, double c_out,
                                         const std::vector<double>& joins) {
  std::vector<std::string> args = {"-metadata", "TAVELMOR_C_IN=" + tag_seconds_text(c_in),
                                   "-metadata", "TAVELMOR_C_OUT=" + tag_seconds_text(c_out)};
  if (!joins.empty())
    args.insert(args.end(), {"-metadata", "TAVELMOR_CUTS=" + cuts_tag_text(joins)});
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
