#include "export/editor_media.h"

#include <cctype>
#include <map>
#include <set>
#include <stdexcept>

#include "media/ffmpeg_command.h"
#include "media/ffmpeg_tools.h"
#include "media/path_argument.h"
#include "media/process.h"
#include "media/run_progress.h"
#include "media/timecode.h"
#include "settings/atomic_file.h"
#include "settings/constants.h"
#include "settings/path_text.h"
#include "settings/pending_files.h"
#include "settings/utf8.h"

namespace {

constexpr int ENCODE_FPS = 60;  // the frame rate of copies that have to be encoded

// What identifies the source a copy was made from. A changed size or modification time means
// the copy no longer stands for it.
struct SourceIdentity {
  std::string path;
  unsigned long long size = 0;
  long long modified = 0;
};

std::optional<SourceIdentity> identity_of(const fs::path& source) {
  std::error_code error;
  const auto size = fs::file_size(source, error);
  if (error)
    return std::nullopt;
  const auto modified = fs::last_write_time(source, error);
  if (error)
    return std::nullopt;
  return SourceIdentity{path_to_utf8(source), size, modified.time_since_epoch().count()};
}

// The hidden record beside a copy: written only after the copy was renamed into place.
fs::path record_path_of(const fs::path& copy) {
  return copy.parent_path() / ("." + path_to_utf8(copy.filename()) + ".source.json");
}

std::optional<SourceIdentity> read_record(const fs::path& copy) {
  try {
    const Json record = parse_json(read_file_bytes(record_path_of(copy)));
    return SourceIdentity{record.at("source").get<std::string>(),
                          record.at("size").get<unsigned long long>(),
                          record.at("modified").get<long long>()};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void write_record(const fs::path& copy, const SourceIdentity& source) {
  Json record = Json::object();
  record["source"] = source.path;
  record["size"] = source.size;
  record["modified"] = source.modified;
  write_file_atomically(record_path_of(copy), json_file_text(record));
}

bool same_identity(const SourceIdentity& a, const SourceIdentity& b) {
  return a.path == b.path && a.size == b.size && a.modified == b.modified;
}

// What the copy's runs need to know of the source: its length, against which they tell how far
// they are, its picture and its timecode. Nothing when ffprobe cannot read it, in which case the
// runs report the failure.
std::optional<ClipFacts> source_facts(const std::string& source) {
  try {
    return get_duration_and_handles(source);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The copy keeps the source's tags, among them the handles and a jump-cut clip's joins, which MP4
// holds under their own names only with use_metadata_tags. A source's file brand, which FFmpeg
// lists among its tags, would stand beside the copy's own as a tag of its own: it is left out.
std::vector<std::string> kept_tags_args() {
  return {"-metadata", "major_brand=",       "-metadata", "minor_version=",
          "-metadata", "compatible_brands=", "-movflags", "+faststart+use_metadata_tags"};
}

std::vector<std::string> stream_copy_command(const std::string& src, const std::string& out) {
  std::vector<std::string> command = {"ffmpeg", "-y",   "-nostdin", "-i",   src,   "-map",
                                      "0:v:0",  "-map", "0:a?",     "-c:v", "copy"};
  append_args(command, aac_args());
  append_args(command, kept_tags_args());
  command.push_back(out);
  return command;
}

// The timecode of the encode's copy. The stream copy keeps the source's timecode as it is (FFmpeg
// writes a Matroska timecode into the MP4's tmcd track by itself), but the encode runs at its own
// frame rate, at which the source's frame numbers would name other frames: it gets the same
// clock time at that rate. Where that cannot be known, it gets none rather than a wrong one.
std::vector<std::string> encode_timecode_args(const std::optional<ClipFacts>& facts) {
  std::string text;
  if (facts && facts->timecode)
    text = timecode_text(timecode_at_rate(*facts->timecode, FrameRate{ENCODE_FPS, 1}));
  return {"-metadata", "timecode=" + text, "-metadata:s:v:0", "timecode=" + text};
}

std::vector<std::string> encode_command(const std::string& src, FrameSize frame,
                                        const PictureFit& fit,
                                        const std::optional<ClipFacts>& facts,
                                        const std::string& out) {
  const std::string filter = fit_to_frame_filter(frame, FitFinish::none, fit);
  std::vector<std::string> command = {"ffmpeg", "-y",   "-nostdin", "-i",  src,   "-map",
                                      "0:v:0",  "-map", "0:a?",     "-vf", filter};
  append_args(command, h264_args(H264Form::encoder_choice));
  append_args(command, colour_tag_args(fit));
  append_args(command, aac_args());
  append_args(command, {"-r", std::to_string(ENCODE_FPS)});
  append_args(command, kept_tags_args());
  append_args(command, encode_timecode_args(facts));
  command.push_back(out);
  return command;
}

// The copy name for `source`: stem_target.mp4, or stem_target_2.mp4 and on when that name is
// taken in this list or holds the copy of another file (which must not be overwritten: its
// source may already be deleted).
fs::path copy_path_for(const fs::path& folder, const std::string& source, const std::string& target,
                       std::set<std::string>& taken) {
  const std::string base = stem_of(source) + "_" + target;
  for (int number = 1;; ++number) {
    const std::string name = base + (number > 1 ? "_" + std::to_string(number) : "") + ".mp4";
    if (taken.count(to_lower_ascii(name)) > 0)
      continue;
    const fs::path candidate = folder / path_from_utf8(name);
    std::error_code error;
    const bool exists = fs::exists(candidate, error);
    const auto record = exists ? read_record(candidate) : std::nullopt;
    if (!exists || (record && record->path == source)) {
      taken.insert(to_lower_ascii(name));
      return candidate;
    }
  }
}

}  // namespace

std::string export_media_strategy(const std::string& target, const std::string& path) {
  const std::string extension = to_lower_ascii(extension_of(path));
  if (target == "premiere")
    return extension == ".mkv" ? "mp4" : "direct";
  if (target == "capcut") {
    return (extension == ".mp4" || extension == ".mov" || extension == ".mkv") ? "direct" : "mp4";
  }
  return "direct";
}

std::string make_editor_safe_mp4(const std::string& src, const std::string& dst, const Json& cfg,
                                 const MessageFn& log, SdrConversionQuery& conversion,
                                 const std::string& label, const ProgressFn& progress) {
  const fs::path source = absolute_form(path_from_utf8(src));
  const fs::path copy = absolute_form(path_from_utf8(dst));
  const std::string copy_text = path_to_utf8(copy);
  fs::create_directories(copy.parent_path());

  if (fs::exists(copy)) {
    const auto source_time = fs::last_write_time(source);
    const auto source_identity = identity_of(source);
    const auto record = read_record(copy);
    if (fs::last_write_time(copy) >= source_time && source_identity && record &&
        same_identity(*record, *source_identity)) {
      return copy_text;
    }
  }

  const FrameSize frame = frame_size_for(json_plain_text(cfg.at("resolution")));
  log(label + ": bereite MP4 vor: " + path_to_utf8(source.filename()));
  // Taken before FFmpeg reads the source, so a change during the run invalidates the copy.
  const auto source_identity = identity_of(source);
  fs::remove(record_path_of(copy));
  // FFmpeg's unfinished output; it takes the copy's name only when complete.
  const PendingFile partial(copy.parent_path() / (path_to_utf8(copy.stem()) + ".partial.mp4"));
  const std::string partial_text = path_to_utf8(partial.path());

  const std::string source_argument = path_argument(path_to_utf8(source));
  const std::string partial_argument = path_argument(partial_text);
  const std::optional<ClipFacts> facts = source_facts(source_argument);
  const double span = progress && facts ? facts->duration : 0.0;
  const PictureFit fit =
      picture_fit(facts ? facts->picture : std::nullopt, [&] { return conversion(); });
  // An HDR picture is not copied as it is: like the cut and the master, the copy is BT.709 SDR.
  const bool copied = fit.to_sdr.empty() &&
                      run_ffmpeg_with_progress(
                          stream_copy_command(source_argument, partial_argument), span, progress)
                              .exit_code == 0;
  if (!copied) {
    log(label + (fit.to_sdr.empty() ? ": direktes MP4-Remux fehlgeschlagen – enkodiere H.264 ..."
                                    : ": HDR-Aufnahme – enkodiere H.264 in SDR (BT.709) ..."));
    const ProcessResult encoded = run_ffmpeg_with_progress(
        encode_command(source_argument, frame, fit, facts, partial_argument), span, progress);
    if (encoded.exit_code != 0) {
      throw std::runtime_error(label + ": MP4 konnte nicht erstellt werden:\n" +
                               utf8_tail(encoded.err, 900));
    }
  }
  fs::rename(partial.path(), copy);
  if (source_identity)
    write_record(copy, *source_identity);
  return copy_text;
}

EditorMedia prepare_files_for_editor(const std::vector<std::string>& files, const Json& cfg,
                                     const MessageFn& log, const std::string& target,
                                     const std::string& folder_name, bool delete_original_mkv,
                                     const ProgressFn& progress) {
  const fs::path output_folder = path_from_utf8(json_plain_text(cfg.at("output_folder")));
  EditorMedia media;
  std::map<std::string, fs::path> copy_of_source;
  std::set<std::string> taken_names;
  SdrConversionQuery conversion;
  for (const std::string& file : files) {
    const std::string src = absolute_form_text(file);
    if (export_media_strategy(target, src) == "direct") {
      media.prepared.push_back(src);
      continue;
    }
    if (!media.conversion_dir) {
      const fs::path folder = output_folder / path_from_utf8(folder_name);
      fs::create_directories(folder);
      media.conversion_dir = path_to_utf8(folder);
    }
    auto known = copy_of_source.find(src);
    if (known == copy_of_source.end()) {
      const fs::path folder = path_from_utf8(*media.conversion_dir);
      known = copy_of_source.emplace(src, copy_path_for(folder, src, target, taken_names)).first;
    }
    const std::string copy = make_editor_safe_mp4(src, path_to_utf8(known->second), cfg, log,
                                                  conversion, title_case(target), progress);
    media.prepared.push_back(copy);
    std::error_code error;
    if (delete_original_mkv && to_lower_ascii(extension_of(src)) == ".mkv" &&
        fs::exists(path_from_utf8(copy), error)) {
      media.original_files_to_delete.push_back(src);
    }
  }
  return media;
}

void cleanup_originals_after_success(const std::vector<std::string>& files_to_delete,
                                     const MessageFn& log) {
  int deleted = 0;
  for (const std::string& file : files_to_delete) {
    const fs::path source = path_from_utf8(file);
    fs::path side_file = source;
    side_file += ".handles.json";
    std::error_code error;
    if (fs::exists(source, error) && !error) {
      if (fs::remove(source, error) && !error)
        ++deleted;
    }
    if (!error && fs::exists(side_file, error) && !error)
      fs::remove(side_file, error);
    if (error) {
      log("Konnte Originaldatei nicht löschen: " + file_name_of(file) + " (" + error.message() +
          ")");
    }
  }
  if (deleted > 0)
    log("Originaldateien nach erfolgreichem Export entfernt: " + std::to_string(deleted));
}

std::string title_case(const std::string& text) {
  std::string result = text;
  bool word_start = true;
  for (char& c : result) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalpha(byte)) {
      c = static_cast<char>(word_start ? std::toupper(byte) : std::tolower(byte));
      word_start = false;
    } else {
      word_start = true;
    }
  }
  return result;
}
