#include "export/finalcut_timeline.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "export/export_messages.h"
#include "export/fcpxml_document.h"
#include "export/probe_ahead.h"
#include "export/standard_file_url.h"
#include "settings/atomic_file.h"
#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/number_text.h"
#include "settings/path_text.h"

namespace {

// Longer clips are refused: the document's times are whole numbers of frames, and these keep far
// within their range.
constexpr double MAX_CLIP_SECONDS = 24 * 3600;

// What the clip's file holds, as its asset declares it. A picture whose rate is unknown or absurd
// is declared at the timeline's rate. The timecode counts frames of the rate rounded to a whole
// number, which are the asset's frames only for whole and NTSC rates; at any other rate (12.5
// fps) the asset starts at 0 without it.
FcpxmlAsset asset_of(const std::string& path, const ClipFacts& facts, const PictureFacts& picture) {
  FcpxmlAsset asset;
  asset.name = stem_of(path);
  asset.src = standard_file_url(path);
  const auto frame = picture.rate ? frame_duration_for_rate(*picture.rate) : std::nullopt;
  asset.frame = frame.value_or(TIMELINE_FRAME);
  asset.width = picture.width;
  asset.height = picture.height;
  asset.colour_space = fcpxml_colour_space(picture.colour);
  // The standard forms of frame_duration_for_rate; an exact reciprocal may share their numerator.
  const bool timecode_frames = frame && ((frame->num == 100 && frame->den % 100 == 0) ||
                                         (frame->num == 1001 && frame->den % 1000 == 0));
  if (timecode_frames && facts.timecode) {
    asset.start_frame = facts.timecode->frame;
    asset.drop_frame = facts.timecode->drop_frame;
  }
  asset.frames = whole_frames(facts.duration, asset.frame);
  asset.sound_channels = facts.sound_channels;
  asset.sample_rate = facts.sound_format.sample_rate;
  return asset;
}

// The handles where they make a span within the file, else the whole file.
std::pair<double, double> handle_span(double total, const std::optional<HandlePair>& handles) {
  if (handles) {
    const double start = std::max(0.0, handles->c_in);
    const double end = std::min(handles->c_out, total);
    if (end > start)
      return {start, end};
  }
  return {0.0, total};
}

double seconds_of(long long frames, FrameDuration frame) {
  return static_cast<double>(frames) * static_cast<double>(frame.num) /
         static_cast<double>(frame.den);
}

}  // namespace

void run_master_fcpxml(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                       const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                       const ProgressFn&) {
  try {
    const FrameSize frame = frame_size_for(json_plain_text(cfg.at("resolution")));
    const fs::path output_folder = path_from_utf8(json_plain_text(cfg.at("output_folder")));
    fs::create_directories(output_folder);
    const fs::path document = output_folder / "finalcut_timeline.fcpxml";
    log("Final Cut Pro Export: nutze Clips direkt aus der Reihenfolge");
    std::vector<FcpxmlAsset> assets;
    std::vector<FcpxmlClip> clips;
    std::map<std::string, size_t> asset_of_path;
    for_each_probed_clip(files, log, [&](const std::string& path, const ClipFacts& facts) {
      const std::string name = file_name_of(path);
      if (!facts.picture)
        throw std::runtime_error(no_picture_message(name));
      if (!(facts.duration <= MAX_CLIP_SECONDS))
        throw std::runtime_error("Fehler bei " + name + ": länger als 24 Stunden");

      const FcpxmlAsset asset = asset_of(path, facts, *facts.picture);
      const auto [t_start, t_end] = handle_span(facts.duration, facts.handles);
      const std::vector<ClipPiece> pieces =
          clip_pieces(asset.frame, asset.frames, t_start, t_end, facts.cuts);
      if (facts.handles) {
        const ClipPiece& last = pieces.back();
        const double out = seconds_of(last.in_frame, asset.frame) +
                           seconds_of(last.timeline_frames, TIMELINE_FRAME);
        log("Handle: In=" + fixed_text(seconds_of(pieces.front().in_frame, asset.frame), 2) +
            "s Out=" + fixed_text(out, 2) + "s");
      }
      // A file listed twice (by two names, or through a link) is one asset for both clips.
      const size_t index = asset_of_path.emplace(path, assets.size()).first->second;
      if (index == assets.size())
        assets.push_back(asset);
      for (const ClipPiece& piece : pieces)
        clips.push_back({index, piece});
    });

    const std::string document_text = path_to_utf8(document);
    write_file_atomically(
        document, fcpxml_document("Tavelmor Studio – Master Timeline", frame, assets, clips));
    log("Gespeichert: " + document_text);
    done(document_text);
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
  }
}
