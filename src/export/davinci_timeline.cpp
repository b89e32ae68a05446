#include "export/davinci_timeline.h"

#include <algorithm>

#include "export/file_url.h"
#include "export/probe_ahead.h"
#include "export/timeline_xml.h"
#include "settings/atomic_file.h"
#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/number_text.h"
#include "settings/path_text.h"

TimelineSpan davinci_span(double total, const std::optional<HandlePair>& handles) {
  TimelineSpan span{0.0, total, false};
  if (handles) {
    span = {handles->c_in, std::min(handles->c_out, total - 0.05), true};
    if (span.t_end <= span.t_start) {
      span.t_start = 0.0;
      span.t_end = total;
    }
  }
  return span;
}

void run_master_xml(const std::vector<std::string>& files, const Json& cfg, const MessageFn& log,
                    const MessageFn& done, const MessageFn& err, const FixedPaths& paths,
                    const ProgressFn&) {
  try {
    const FrameSize frame = frame_size_for(json_plain_text(cfg.at("resolution")));
    const fs::path output_folder = path_from_utf8(json_plain_text(cfg.at("output_folder")));
    fs::create_directories(output_folder);
    const fs::path document = output_folder / "davinci_timeline.xml";
    log("DaVinci Export: nutze Clips direkt aus der Reihenfolge");
    std::vector<TimelineClip> clips;
    // One probe gives the length, the handles and what the document declares of the file.
    for_each_probed_clip(files, log, [&](const std::string& path, const ClipFacts& facts) {
      const TimelineSpan span = davinci_span(facts.duration, facts.handles);
      if (span.from_handles) {
        log("Handle: In=" + fixed_text(span.t_start, 2) + "s Out=" + fixed_text(span.t_end, 2) +
            "s");
      }
      TimelineClip clip;
      clip.name = stem_of(path);
      clip.pathurl = editor_file_url_davinci(path);
      clip.t_start = span.t_start;
      clip.t_end = span.t_end;
      clip.dur_f = clip_duration_frames(span.t_start, span.t_end);
      describe_file(clip, facts);
      clips.push_back(clip);
    });

    const std::string document_text = path_to_utf8(document);
    write_file_atomically(document,
                          timeline_document("Tavelmor Studio – Master Timeline", frame, clips));
    log("Gespeichert: " + document_text);
    done(document_text);
  } catch (const std::exception& failure) {
    log_exception(failure, paths);
    err(failure.what());
  }
}
