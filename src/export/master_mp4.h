#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_command.h"
#include "media/ffmpeg_tools.h"
#include "settings/callbacks.h"
#include "settings/constants.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"

// The MP4 (or MOV) master "master_video" in the output folder: every clip cut to its handles,
// scaled and padded to the configured frame, H.264/AAC at 60 fps, with sound throughout. Where
// the probes of all clips allow it, the picture is encoded once (master_groups.h). Otherwise
// each clip is normalised into a temporary folder (always with a sound track), and the
// normalised clips are joined by FFmpeg's concat demuxer and encoded once more. The temporary
// folder is removed on every path.

// ".mov" when any clip has the extension .mov in any letter case, else ".mp4".
std::string master_extension(const std::vector<std::string>& files);

// "norm_" + the index with at least four digits + the extension: norm_0000.mp4, norm_10000.mp4.
std::string normalized_clip_name(size_t index, const std::string& extension);

// The span of a clip that goes into the master, in seconds.
struct MasterClipCut {
  double t_start = 0.0;
  double dur = 0.0;
  std::optional<std::string> handle_message;  // logged when the clip has handles
};

// Handles give the start and the end, the end kept 0.05 s before the file's end; a span shorter
// than 0.3 s (the message, formed before that test, still shows the handles) uses the whole clip.
MasterClipCut master_clip_cut(double total, const std::optional<HandlePair>& handles);

// What a clip holds in sound. Unknown when ffprobe could not tell.
enum class AudioPresence { present, absent, unknown };

struct ClipAudio {
  AudioPresence presence = AudioPresence::unknown;
  int sample_rate = 48000;
  std::string channel_layout = "stereo";
  int channels = 2;
};

// The stream entries ffprobe is asked for to tell whether a clip has a picture, how it is shown
// and coded, its sound and its length.
extern const char* const CLIP_AUDIO_ENTRIES;

// Reads stream number `track` of codec_type "audio" (the first by default) from ffprobe's JSON
// of "-show_entries stream=" CLIP_AUDIO_ENTRIES; text that is not such JSON gives unknown.
ClipAudio parse_clip_audio(const std::string& ffprobe_json, size_t track = 0);

// What the master takes from a clip beyond its span: how its picture is fitted, and which of its
// sound tracks carries the speech (media/sound_tracks.h) when it has several.
struct ClipSource {
  PictureFit fit;
  size_t sound_track = 0;
  size_t sound_tracks = 1;
};

// The normalisation run of one clip into `out`. A clip without sound gets silence of
// `silence` from a second, generated input, so that every normalised clip carries a sound track
// and the join keeps the sound of all clips whatever their order. A clip with several sound
// tracks keeps the speech track alone. `colour_tags` are the encoder's colour tags
// (colour_tag_args) of the master.
std::vector<std::string> normalisation_command(const std::string& clip, const MasterClipCut& cut,
                                               FrameSize frame, const std::string& out,
                                               const std::optional<ClipAudio>& silence,
                                               const ClipSource& source = {},
                                               const std::vector<std::string>& colour_tags = {});

// The join of the clips named in `list_file` into `out`, re-encoded, the sound through
// `sound_filter` (none when empty).
std::vector<std::string> concat_command(const std::string& list_file, const std::string& out,
                                        const std::vector<std::string>& colour_tags = {},
                                        const std::string& sound_filter = "");

// The filter that brings the master's joined sound, as FFmpeg reads it with the input options
// `input`, from its measured loudness to `target`: one run that measures it, then the log line
// that says what it found. Empty when there was nothing to measure.
std::string master_loudness_filter(const std::vector<std::string>& input, double target,
                                   int sample_rate, const MessageFn& log);

// The concat list: one line "file '<name>'" per clip. The names are taken relative to the list's
// own folder, so the folder's path (an apostrophe in a user name) never enters the list; a quote
// inside a name is escaped all the same. The names are the normalised clips' own (norm_0000.mp4),
// which FFmpeg can read neither as an option nor as a protocol.
std::string concat_list_text(const std::vector<std::string>& names);

// The exporter of mode "mp4": reads `resolution`, `output_folder` and `loudness_target` (which
// fails the export before any child runs when it holds no target); reports through `log`,
// then exactly one of `done` (the master's path) and `err` (the error text, whose report goes to
// the error log of `paths`). The normalisations and the join report their progress through
// `progress`.
void run_master_mp4(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                    const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                    const ProgressFn& progress = {});
