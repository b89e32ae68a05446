#include "export/probe_ahead.h"

#include <algorithm>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include "export/export_messages.h"
#include "settings/path_text.h"

namespace {

constexpr size_t MAX_PROBES_AT_ONCE = 8;  // more would only crowd the disk

template <typename Facts>
struct Probes {
  std::vector<std::string> paths;
  std::function<Facts(const std::string&)> probe;
  std::vector<std::future<Facts>> running;
  size_t ahead;
};

template <typename Facts>
std::function<Facts(size_t)> start_probing(std::vector<std::string> paths, size_t ahead,
                                           std::function<Facts(const std::string&)> probe) {
  auto probes = std::make_shared<Probes<Facts>>();
  probes->running.resize(paths.size());
  probes->paths = std::move(paths);
  probes->probe = std::move(probe);
  probes->ahead = std::max<size_t>(1, ahead);
  return [probes](size_t i) {
    const size_t end = std::min(probes->paths.size(), i + probes->ahead);
    for (size_t j = i; j < end; ++j) {
      if (!probes->running[j].valid())
        probes->running[j] = std::async(std::launch::async, probes->probe, probes->paths[j]);
    }
    return probes->running.at(i).get();
  };
}

}  // namespace

std::function<ClipFacts(size_t)> probe_ahead(std::vector<std::string> paths, size_t ahead) {
  return start_probing<ClipFacts>(std::move(paths), ahead, get_duration_and_handles);
}

std::function<FileProbe(size_t)> probe_files_ahead(std::vector<std::string> paths,
                                                   std::string stream_entries, size_t ahead) {
  return start_probing<FileProbe>(std::move(paths), ahead,
                                  [entries = std::move(stream_entries)](const std::string& path) {
                                    return probe_file(path, entries);
                                  });
}

void for_each_probed_clip(
    const std::vector<std::string>& files, const MessageFn& log,
    const std::function<void(const std::string& path, const ClipFacts& facts)>& take) {
  log(ANALYSING_CLIPS);
  std::vector<std::string> paths;
  for (const std::string& file : files)
    paths.push_back(absolute_form_text(file));
  const auto facts_of = probe_ahead(paths, probes_at_once());
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    log(clip_counter_message(i + 1, paths.size(), file_name_of(path)));
    std::error_code error;
    if (!fs::exists(path_from_utf8(path), error))
      throw std::runtime_error("Datei nicht gefunden: " + path);
    take(path, facts_of(i));
  }
}

size_t probes_at_once() {
  const size_t cores = std::thread::hardware_concurrency();
  return std::clamp<size_t>(cores, 2, MAX_PROBES_AT_ONCE);
}
