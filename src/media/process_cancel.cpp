#include <atomic>

#include "media/process.h"

namespace {

// Set before the children are killed: run_process tests it under the same lock under which it
// starts a child and adds it to the ones that are killed, so no child slips past a cancel.
std::atomic<bool> cancelled{false};

}  // namespace

void cancel_children() {
  cancelled = true;
  kill_running_children();
}

void allow_children() {
  cancelled = false;
}

void throw_if_cancelled() {
  if (cancelled)
    throw RunCancelled{};
}
