#include "media/bootstrap.h"

#include "media/ffmpeg_tools.h"
#include "media/sdr_conversion.h"

void report_ffmpeg_presence(const Reporter& report) {
  if (check_ffmpeg()) {
    report.log("cut", "FFmpeg gefunden – bereit!", "ok");
    report.log("master", "FFmpeg gefunden – bereit!", "ok");
    if (const auto notice = sdr_conversion_notice(available_sdr_conversion())) {
      report.log("cut", *notice, "info");
      report.log("master", *notice, "info");
    }
    report.progress("cut", 100, "Bereit ✓");
    report.progress("master", 100, "Bereit ✓");
  } else {
    const std::string missing = "FFmpeg nicht gefunden – bitte installieren und PATH setzen.";
    report.log("cut", missing, "error");
    report.log("master", missing, "error");
  }
  report.send_state();
}
