#pragma once

#include <functional>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "settings/callbacks.h"

// Probing a list of clips while an exporter works through it. Each probe is a child process of
// its own that spends most of its time loading the program, so a few at once make a long list
// cost a fraction of probing clip after clip.

// Returns `facts_of`: facts_of(i) gives get_duration_and_handles of paths[i], or throws its
// failure, and meanwhile starts the probes of the next paths, up to `ahead` running at once.
// Call it with i = 0, 1, 2, ... in turn. Destroying it waits for the probes still running.
std::function<ClipFacts(size_t)> probe_ahead(std::vector<std::string> paths, size_t ahead);

// As probe_ahead, with probe_file(paths[i], stream_entries) for each path.
std::function<FileProbe(size_t)> probe_files_ahead(std::vector<std::string> paths,
                                                   std::string stream_entries, size_t ahead);

// The timeline exporters' walk through their clips: logs "Analysiere Clips ...", then for each
// clip in list order its counter "[i/n] name", fails with "Datei nicht gefunden: " and the path
// for a missing clip or with its probe's failure, and hands the clip's absolute path and facts to
// `take`. The probes run ahead of `take`.
void for_each_probed_clip(
    const std::vector<std::string>& files, const MessageFn& log,
    const std::function<void(const std::string& path, const ClipFacts& facts)>& take);

// How many probes to run at once on this machine: one per processor core, at least two.
size_t probes_at_once();
