#include "autocut/silence_detection.h"

#include <stdexcept>

#include "media/ffmpeg_tools.h"
#include "media/path_argument.h"
#include "media/probe_json.h"
#include "media/process.h"
#include "settings/constants.h"
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

std::string start_message(const std::string& fp) {
  return "FFmpeg Stille-Erkennung startet: " + file_name_of(fp);
}

std::string end_message(const SilenceReport& report) {
  return "FFmpeg Stille-Erkennung fertig: " + std::to_string(report.start_matches) +
         " Startpunkt(e), " + std::to_string(report.end_matches) + " Endpunkt(e), " +
         std::to_string(report.silences.size()) + " Pause(n) sauber erkannt";
}

SilenceReport analyse_silences(const std::string& fp, const std::string& thresh,
                               const std::string& dur, std::optional<double> duration) {
  const std::string filter = "silencedetect=noise=" + thresh + ":d=" + dur;
  // FFmpeg picks the same streams as without "-c:v copy", but the picture is only copied to the
  // null output, never decoded: the analysis costs the decoding of the sound alone. Unlike "-vn"
  // it keeps an output stream for a video without sound, which then yields no silences.
  const ProcessResult run =
      run_process({"ffmpeg", "-hide_banner", "-nostdin", "-i", path_argument(fp), "-af", filter,
                   "-c:v", "copy", "-f", "null", "-"},
                  FFMPEG_TIMEOUT, OutputDecoding::replace_invalid);
  if (run.exit_code != 0) {
    throw std::runtime_error("FFmpeg Stille-Erkennung fehlgeschlagen: " + file_name_of(fp) + "\n" +
                             utf8_tail(run.err, ERROR_TAIL));
  }

  SilenceReport report = parse_silence_report(run.err);
  if (report.open_start) {
    const double start = *report.open_start;
    double total = start;
    try {
      total = duration ? *duration : get_duration(fp);
    } catch (const std::exception&) {
      // Without a duration only the open trailing silence is lost.
    }
    if (total > start)
      report.silences.push_back({start, total});
    report.open_start.reset();
  }
  return report;
}

}  // namespace

std::vector<Silence> detect_silences(const std::string& fp, const std::string& thresh,
                                     const std::string& dur, const MessageFn& log,
                                     std::optional<double> duration) {
  if (log)
    log(start_message(fp));
  const SilenceReport report = analyse_silences(fp, thresh, dur, duration);
  if (log)
    log(end_message(report));
  return report.silences;
}

std::future<SilenceReport> start_silence_detection(const std::string& fp, const std::string& thresh,
                                                   const std::string& dur,
                                                   std::optional<double> duration) {
  return std::async(std::launch::async, analyse_silences, fp, thresh, dur, duration);
}

std::vector<Silence> finish_silence_detection(std::future<SilenceReport>& running,
                                              const std::string& fp, const MessageFn& log) {
  if (log)
    log(start_message(fp));
  const SilenceReport report = running.get();
  if (log)
    log(end_message(report));
  return report.silences;
}
