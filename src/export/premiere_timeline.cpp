#include "export/premiere_timeline.h"

#include <algorithm>

#include "export/editor_media.h"
#include "export/export_messages.h"
#include "export/file_url.h"
#include "export/probe_ahead.h"
#include "export/timeline_xml.h"
#include "media/process.h"
#include "settings/atomic_file.h"
#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/path_text.h"

void run_master_xml_premiere(const std::vector<std::string>& files, const Json& cfg,
                             const MessageFn& log, const MessageFn& done, const MessageFn& err,
                             const FixedPaths& paths, const ProgressFn& progress) {
  try {
    const EditorMedia media = prepare_files_for_editor(files, cfg, log, "premiere",
                                                       "Premiere_Pro_Cut_Videos", true, progress);
    const FrameSize frame = frame_size_for(json_plain_text(cfg.at("resolution")));
    const fs::path output_folder = path_from_utf8(json_plain_text(cfg.at("output_folder")));
    fs::create_directories(output_folder);
    const fs::path document = output_folder / "premiere_timeline.xml";
    log(ANALYSING_CLIPS_FOR_PREMIERE);

    std::vector<std::string> clip_paths;
    for (const std::string& file : media.prepared)
      clip_paths.push_back(absolute_form_text(file));
    const auto facts_of = probe_ahead(clip_paths, probes_at_once());

    std::vector<TimelineClip> clips;
    const size_t n = clip_paths.size();
    for (size_t i = 0; i < n; ++i) {
      const std::string& path = clip_paths[i];
      log(clip_counter_message(i + 1, n, file_name_of(path)));
      const ClipFacts facts = facts_of(i);
      const double total = facts.duration;
      TimelineClip clip;
      clip.name = stem_of(path);
      clip.t_start = 0.0;
      clip.t_end = total;
      clip.dur_f = std::max(1LL, seconds_to_frames(total));
      // What the document declares of the file comes from the same probe.
      describe_file(clip, facts);
      clip.pathurl = editor_file_url_premiere(path);
      clips.push_back(clip);
    }

    const std::string document_text = path_to_utf8(document);
    // Writing the document leads to deleting the converted sources: not after a cancel.
    throw_if_cancelled();
    write_file_atomically(document,
                          timeline_document("Tavelmor Studio - Premiere Timeline", frame, clips));
    if (media.conversion_dir) {
      log("Premiere Export nutzt vorbereitete Medien im Ordner " +
          file_name_of(*media.conversion_dir));
    } else {
      log("Premiere Export nutzt vorhandene Dateien direkt – keine MKV-Umwandlung nötig");
    }
    log("Gespeichert: " + document_text);
    cleanup_originals_after_success(media.original_files_to_delete, log);
    done(document_text);
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
  }
}
