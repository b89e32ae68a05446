#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/sdr_conversion.h"
#include "settings/callbacks.h"
#include "settings/json_text.h"

// Media preparation for editors that cannot import every container: a clip is either referenced
// where it lies ("direct") or through an MP4 copy ("mp4") in a conversion folder below the output
// folder. A copy stands in for a clip only when it was completed from that very clip: copies are
// written under a temporary name and renamed when FFmpeg succeeded, and a hidden record beside
// each copy names the source (path, size, modification time) it was made from. Copies stay on
// disk for later exports.

// "direct" or "mp4" for the editor `target` and the clip's extension; touches no file.
std::string export_media_strategy(const std::string& target, const std::string& path);

// Makes (or reuses) the MP4 copy `dst` of `src`: a stream copy first, a full H.264 encode when
// that fails, each telling `progress` how far it is. An HDR source is encoded to SDR by the
// conversion `conversion` finds, which a job asks once for all its copies. Returns the copy's
// absolute path. Throws with `label` + ": MP4 konnte nicht erstellt werden:" and FFmpeg's error
// tail when both runs fail; no file is left at `dst` then, nor after a cancel.
std::string make_editor_safe_mp4(const std::string& src, const std::string& dst, const Json& cfg,
                                 const MessageFn& log, SdrConversionQuery& conversion,
                                 const std::string& label = "Export",
                                 const ProgressFn& progress = {});

// What a timeline references, one path per clip in order; the MKV sources to delete after
// success; the conversion folder when some clip needed one.
struct EditorMedia {
  std::vector<std::string> prepared;
  std::vector<std::string> original_files_to_delete;
  std::optional<std::string> conversion_dir;
};

// Prepares `files` for `target`. Copies are named stem + "_" + target + ".mp4" in
// output_folder/folder_name; a clip whose name is taken by another clip's copy gets "_2", "_3",
// ... appended to the stem part. Fails at the first clip whose copy cannot be made; earlier copies
// stay, nothing is deleted.
EditorMedia prepare_files_for_editor(const std::vector<std::string>& files, const Json& cfg,
                                     const MessageFn& log, const std::string& target,
                                     const std::string& folder_name,
                                     bool delete_original_mkv = false,
                                     const ProgressFn& progress = {});

// Deletes each file and its ".handles.json" side file; logs a line per file that cannot be
// deleted and the count of deleted files. Never fails.
void cleanup_originals_after_success(const std::vector<std::string>& files_to_delete,
                                     const MessageFn& log);

// The first letter of every word upper case, the rest lower case: "premiere" gives "Premiere".
std::string title_case(const std::string& text);
