#include "export/probe_ahead.h"

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

namespace {

constexpr size_t MAX_PROBES_AT_ONCE = 8;  // more would only crowd the disk

struct Probes {
  std::vector<std::string> paths;
  std::vector<std::future<ClipFacts>> running;
  size_t ahead;
};

}  // namespace

std::function<ClipFacts(size_t)> probe_ahead(std::vector<std::string> paths, size_t ahead) {
  auto probes = std::make_shared<Probes>();
  probes->running.resize(paths.size());
  probes->paths = std::move(paths);
  probes->ahead = std::max<size_t>(1, ahead);
  return [probes](size_t i) {
    const size_t end = std::min(probes->paths.size(), i + probes->ahead);
    for (size_t j = i; j < end; ++j) {
      if (!probes->running[j].valid()) {
        probes->running[j] =
            std::async(std::launch::async, get_duration_and_handles, probes->paths[j]);
      }
    }
    return probes->running.at(i).get();
  };
}

size_t probes_at_once() {
  const size_t cores = std::thread::hardware_concurrency();
  return std::clamp<size_t>(cores, 2, MAX_PROBES_AT_ONCE);
}
