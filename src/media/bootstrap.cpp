#include "backend/backend.h"
#include "media/ffmpeg_tools.h"

void Backend::bootstrap(const Json&) {
  if (check_ffmpeg()) {
    log("cut", "FFmpeg gefunden – bereit!", "ok");
    log("master", "FFmpeg gefunden – bereit!", "ok");
    progress("cut", 100, "Bereit ✓");
    progress("master", 100, "Bereit ✓");
  } else {
    const std::string missing = "FFmpeg nicht gefunden – bitte installieren und PATH setzen.";
    log("cut", missing, "error");
    log("master", missing, "error");
  }
  send_state();
}
