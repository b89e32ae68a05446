#include "autocut/silence_detection.h"

#include <algorithm>
#include <stdexcept>

#include "autocut/cut_messages.h"
#include "media/ffmpeg_progress.h"
#include "media/ffmpeg_tools.h"
#include "media/loudness.h"
#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "media/sound_tracks.h"
#include "settings/constants.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr size_t ERROR_TAIL = 800;  // characters of FFmpeg's standard error quoted on failure

const std::string_view START_MARK = "silence_start:";
const std::string_view END_MARK = "silence_end:";

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool is_number_char(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

// The digits-and-points run after the first `mark` at or after `from` that is followed (past
// any white space) by at least one such character; the mark's position goes to `found_at`.
std::optional<std::string_view> find_marked_number(std::string_view text, std::string_view mark,
                                                   size_t from, size_t& found_at) {
  for (size_t at = text.find(mark, from); at != std::string_view::npos;
       at = text.find(mark, at + 1)) {
    size_t pos = at + mark.size();
    while (pos < text.size() && is_blank(text[pos]))
      ++pos;
    size_t end = pos;
    while (end < text.size() && is_number_char(text[end]))
      ++end;
    if (end > pos) {
      found_at = at;
      return text.substr(pos, end - pos);
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> marked_number(std::string_view line, std::string_view mark) {
  size_t ignored = 0;
  return find_marked_number(line, mark, 0, ignored);
}

int count_marked_numbers(std::string_view text, std::string_view mark) {
  int count = 0;
  size_t at = 0;
  for (size_t from = 0; find_marked_number(text, mark, from, at); from = at + mark.size())
    ++count;
  return count;
}

double report_seconds(std::string_view text) {
  const std::optional<double> value = number_from_text(text);
  if (!value) {
    throw std::runtime_error("Unlesbare Zeitangabe in der Stille-Erkennung: " + std::string(text));
  }
  return *value;
}

// Lines end at LF, CR or CR LF; FFmpeg ends its progress lines with a bare CR.
std::vector<std::string_view> report_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t begin = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r')
      continue;
    lines.push_back(text.substr(begin, i - begin));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      ++i;
    begin = i + 1;
  }
  if (begin < text.size())
    lines.push_back(text.substr(begin));
  return lines;
}

}  // namespace

SilenceReport parse_silence_report(std::string_view report) {
  SilenceReport result;
  std::optional<double>& current_start = result.open_start;
  for (const std::string_view line : report_lines(report)) {
    if (const auto start = marked_number(line, START_MARK)) {
      current_start = report_seconds(*start);
      continue;
    }
    const auto end_text = marked_number(line, END_MARK);
    if (!end_text)
      continue;
    const double end = report_seconds(*end_text);
    if (!current_start) {
      if (end > 0.0)
        result.silences.push_back({0.0, end});
    } else {
      if (end > *current_start)
        result.silences.push_back({*current_start, end});
      current_start.reset();
    }
  }
  result.start_matches = count_marked_numbers(report, START_MARK);
  result.end_matches = count_marked_numbers(report, END_MARK);
  return result;
}

namespace {

const std::string_view INSTANCE_MARK = "[silencedetect @ ";

// The address in the "[silencedetect @ 0x...]" prefix of a line, naming the filter instance
// that printed it.
std::optional<std::string_view> reporting_instance(std::string_view line) {
  const size_t at = line.find(INSTANCE_MARK);
  if (at == std::string_view::npos)
    return std::nullopt;
  const size_t begin = at + INSTANCE_MARK.size();
  const size_t end = line.find(']', begin);
  if (end == std::string_view::npos)
    return std::nullopt;
  return line.substr(begin, end - begin);
}

}  // namespace

std::vector<SilenceReport> parse_silence_reports(std::string_view report, size_t count) {
  std::vector<std::string_view> instances;
  std::vector<std::string> texts(count);
  for (const std::string_view line : report_lines(report)) {
    if (line.find(START_MARK) == std::string_view::npos &&
        line.find(END_MARK) == std::string_view::npos)
      continue;
    const auto instance = reporting_instance(line);
    if (!instance)
      continue;
    auto known = std::find(instances.begin(), instances.end(), *instance);
    if (known == instances.end()) {
      if (instances.size() == count)
        throw std::runtime_error("Unlesbarer Bericht der Stille-Erkennung: zu viele Filter");
      instances.push_back(*instance);
      known = instances.end() - 1;
    }
    texts[known - instances.begin()].append(line).push_back('\n');
  }
  std::vector<SilenceReport> reports;
  for (const std::string& text : texts)
    reports.push_back(parse_silence_report(text));
  return reports;
}

namespace {

std::string start_message(const std::string& fp) {
  return SILENCE_ANALYSIS_STARTS + file_name_of(fp);
}

std::string end_message(const SilenceReport& report) {
  return SILENCE_ANALYSIS_DONE + std::to_string(report.start_matches) + " Startpunkt(e), " +
         std::to_string(report.end_matches) + " Endpunkt(e), " +
         std::to_string(report.silences.size()) + " Pause(n) sauber erkannt";
}

std::string silence_filter(const std::string& thresh, const std::string& dur) {
  return "silencedetect=noise=" + thresh + ":d=" + dur;
}

std::runtime_error analysis_failure(const std::string& fp, const std::string& err) {
  return std::runtime_error("FFmpeg Stille-Erkennung fehlgeschlagen: " + file_name_of(fp) + "\n" +
                            utf8_tail(err, ERROR_TAIL));
}

// The lines of FFmpeg's progress report, each time that tells a time handed to `reached`.
OutputLineFn progress_lines(const SoundReachedFn& reached) {
  if (!reached)
    return {};
  return [&reached](std::string_view line) {
    if (const std::optional<double> seconds = progress_out_seconds(line))
      reached(*seconds);
  };
}

// What an analysis run left: FFmpeg's report and how far it read the file, when it was asked to
// tell.
struct AnalysisRun {
  std::string report;
  std::optional<double> length;
};

// An analysis run with the options `middle` between the input and the null output.
AnalysisRun run_analysis(const std::string& fp, std::vector<std::string> middle,
                         const SoundReachedFn& reached) {
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-i", path_argument(fp)};
  args.insert(args.end(), middle.begin(), middle.end());
  args.insert(args.end(), {"-f", "null", "-"});
  if (reached)
    args.insert(args.begin() + 3, {"-progress", "pipe:1"});
  const ProcessResult run =
      run_process(args, FFMPEG_TIMEOUT, OutputDecoding::replace_invalid, progress_lines(reached));
  if (run.exit_code != 0)
    throw analysis_failure(fp, run.err);
  return {run.err, reached ? progress_out_seconds(run.out) : std::nullopt};
}

// FFmpeg's report of the audio filter `filter` over the whole file.
AnalysisRun analysis_report(const std::string& fp, const std::string& filter,
                            const SoundReachedFn& reached = {}) {
  // FFmpeg picks the same streams as without "-c:v copy", but the picture is only copied to the
  // null output, never decoded: the analysis costs the decoding of the sound alone. Unlike "-vn"
  // it keeps an output stream for a video without sound, which then yields no silences.
  return run_analysis(fp, {"-af", filter, "-c:v", "copy"}, reached);
}

// A silence still open at the end runs to the duration, when one is known.
void close_open_silence(SilenceReport& report, std::optional<double> duration) {
  if (report.open_start && duration && *duration > *report.open_start)
    report.silences.push_back({*report.open_start, *duration});
  report.open_start.reset();
}

RecordingAnalysis analyse_together(const std::string& fp, const std::string& thresh,
                                   const std::vector<std::string>& durs,
                                   const SoundReachedFn& reached) {
  std::vector<std::pair<double, size_t>> shortest_first;
  for (size_t i = 0; i < durs.size(); ++i) {
    const std::optional<double> seconds = number_from_text(durs[i]);
    if (!seconds) {
      RecordingAnalysis analysis;
      for (const std::string& dur : durs) {
        const AnalysisRun run = analysis_report(fp, silence_filter(thresh, dur), reached);
        analysis.reports.push_back(parse_silence_report(run.report));
        analysis.length = run.length;
      }
      return analysis;
    }
    shortest_first.emplace_back(*seconds, i);
  }
  // The chained filters pass the sound on unchanged. One with a shorter minimum length finds
  // every silence that a longer one finds, and reports it first, so with the shortest first in
  // the chain the instances first report in the chain's order.
  std::stable_sort(shortest_first.begin(), shortest_first.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string chain;
  for (const auto& [seconds, i] : shortest_first) {
    if (!chain.empty())
      chain += ',';
    chain += silence_filter(thresh, durs[i]);
  }
  const AnalysisRun run = analysis_report(fp, chain, reached);
  const std::vector<SilenceReport> found = parse_silence_reports(run.report, durs.size());
  RecordingAnalysis analysis;
  analysis.reports.resize(durs.size());
  for (size_t k = 0; k < found.size(); ++k)
    analysis.reports[shortest_first[k].second] = found[k];
  analysis.length = run.length;
  return analysis;
}

// The name of the filter that prints the silences of length `which` on track `track`. The
// silencedetect filters print under their kind alone, so with several tracks their reports could
// not be told apart: the silences travel with the sound as its metadata, and a named filter after
// each one prints them.
std::string silence_printer(size_t track, size_t which) {
  return "ametadata@silence_" + std::to_string(track) + "_" + std::to_string(which);
}

// Behind track `track`: its level, then a silencedetect filter per length, each followed by the
// one that prints what it found. The metadata is cleared after each printer, so the next one
// prints only what its own filter found.
std::string silence_chain_of_track(size_t track, const std::string& thresh,
                                   const std::vector<std::string>& durs) {
  std::string chain = track_level_filter(track);
  for (size_t which = 0; which < durs.size(); ++which) {
    chain += "," + silence_filter(thresh, durs[which]) + "," + silence_printer(track, which) +
             "=mode=print";
    if (which + 1 < durs.size())
      chain += ",ametadata=mode=delete";
  }
  return chain;
}

// The analysis of a recording with several sound tracks: every track decoded once, in one run.
RecordingAnalysis analyse_tracks(const std::string& fp, const std::string& thresh,
                                 const std::vector<std::string>& durs, size_t tracks,
                                 const SoundReachedFn& reached) {
  tracks = std::min(tracks, MEASURED_TRACKS);
  std::string graph;
  std::vector<std::string> middle;
  for (size_t track = 0; track < tracks; ++track) {
    const std::string n = std::to_string(track);
    graph += (track > 0 ? ";[0:a:" : "[0:a:") + n + "]" +
             silence_chain_of_track(track, thresh, durs) + "[s" + n + "]";
    middle.insert(middle.end(), {"-map", "[s" + n + "]"});
  }
  middle.insert(middle.begin(), {"-filter_complex", graph});
  const AnalysisRun run = run_analysis(fp, middle, reached);
  RecordingAnalysis analysis;
  analysis.track = loudest_track(track_levels_from_report(run.report, tracks));
  analysis.reports = parse_track_silence_reports(run.report, analysis.track, durs.size());
  analysis.length = run.length;
  return analysis;
}

}  // namespace

std::vector<Silence> detect_silences(const std::string& fp, const std::string& thresh,
                                     const std::string& dur, const MessageFn& log,
                                     std::optional<double> duration) {
  if (log)
    log(start_message(fp));
  SilenceReport report =
      parse_silence_report(analysis_report(fp, silence_filter(thresh, dur)).report);
  if (report.open_start && !duration) {
    try {
      duration = get_duration(fp);
    } catch (const std::exception&) {
      // Without a duration only the open trailing silence is lost.
    }
  }
  close_open_silence(report, duration);
  if (log)
    log(end_message(report));
  return report.silences;
}

SilenceAnalysis start_silence_detection(const std::string& fp, const std::string& thresh,
                                        std::vector<std::string> durs, SoundReachedFn reached,
                                        size_t tracks) {
  if (tracks >= 2) {
    return std::async(std::launch::async, analyse_tracks, fp, thresh, std::move(durs), tracks,
                      std::move(reached))
        .share();
  }
  return std::async(std::launch::async, analyse_together, fp, thresh, std::move(durs),
                    std::move(reached))
      .share();
}

std::vector<Silence> finish_silence_detection(const SilenceAnalysis& running, size_t which,
                                              const std::string& fp, double duration,
                                              const MessageFn& log) {
  if (log)
    log(start_message(fp));
  SilenceReport report = running.get().reports.at(which);
  close_open_silence(report, duration);
  if (log)
    log(end_message(report));
  return report.silences;
}

std::vector<SilenceReport> parse_track_silence_reports(std::string_view report, size_t track,
                                                       size_t count) {
  const std::string_view start_key = "lavfi.silence_start=";
  const std::string_view end_key = "lavfi.silence_end=";
  std::vector<std::string> texts(count);
  for (const std::string_view line : report_lines(report)) {
    for (size_t which = 0; which < count; ++which) {
      if (line.find("[" + silence_printer(track, which) + " @ ") == std::string_view::npos)
        continue;
      // Written as silencedetect itself writes it, for the one reader of both.
      if (const size_t at = line.find(start_key); at != std::string_view::npos)
        texts[which].append(START_MARK).append(line.substr(at + start_key.size())).push_back('\n');
      else if (const size_t at = line.find(end_key); at != std::string_view::npos)
        texts[which].append(END_MARK).append(line.substr(at + end_key.size())).push_back('\n');
    }
  }
  std::vector<SilenceReport> reports;
  for (const std::string& text : texts)
    reports.push_back(parse_silence_report(text));
  return reports;
}

SoundFrom detect_silences_from(const std::string& fp, double from, const std::string& thresh,
                               const std::string& dur, const MessageFn& log,
                               const SoundReachedFn& reached, size_t track, size_t tracks,
                               const SoundMeasures& measures) {
  if (log)
    log(start_message(fp));
  // The sound is timed by its samples, as in a file of its own that starts at `from`; the
  // length comes from FFmpeg's progress report, where that sound ends.
  std::vector<std::string> args = {"ffmpeg",          "-hide_banner", "-nostdin",
                                   "-progress",       "pipe:1",       "-ss",
                                   double_text(from), "-i",           path_argument(fp)};
  if (tracks >= 2)
    args.insert(args.end(), {"-map", "0:a:" + std::to_string(track)});
  // The shorter length first in the chain, so its filter reports first (see analyse_together).
  std::string filters = "asetpts=N/SR/TB,";
  if (!measures.pause_length.empty())
    filters += silence_filter(thresh, measures.pause_length) + ",";
  filters += silence_filter(thresh, dur);
  if (measures.loudness)
    filters += std::string(",") + LOUDNESS_METER;
  args.insert(args.end(), {"-vn", "-af", filters, "-f", "null", "-"});
  const ProcessResult run =
      run_process(args, FFMPEG_TIMEOUT, OutputDecoding::replace_invalid, progress_lines(reached));
  const std::optional<double> length = progress_out_seconds(run.out);
  if (run.exit_code != 0 || !length)
    throw analysis_failure(fp, run.err);
  std::vector<SilenceReport> reports;
  if (measures.pause_length.empty())
    reports = {parse_silence_report(run.err)};
  else
    reports = parse_silence_reports(run.err, 2);
  const double sound_length = std::max(0.0, *length);
  for (SilenceReport& report : reports)
    close_open_silence(report, sound_length);
  if (log)
    log(end_message(reports.back()));
  SoundFrom sound{reports.back().silences, sound_length, reports.front().silences, std::nullopt};
  if (measures.loudness)
    sound.loudness = integrated_loudness_in_report(run.err);
  return sound;
}
