#pragma once

#include <cstddef>
#include <string>

// The exporters' log messages whose words move the master panel's bar (progress_for_message,
// export_job.h): written once here, so that a change of wording shows in the progress test rather
// than silently stopping the bar. Also the failure texts that several exporters share, so that
// they say the same thing.

inline constexpr char ANALYSING_CLIPS[] = "Analysiere Clips ...";
inline constexpr char ANALYSING_CLIPS_FOR_PREMIERE[] = "Analysiere Clips für Premiere ...";
inline constexpr char JOINING_CLIPS[] = "Füge Clips zusammen ...";

// "[number/total] name": the counter of the clip handled now, counting from 1.
inline std::string clip_counter_message(size_t number, size_t total, const std::string& name) {
  return "[" + std::to_string(number) + "/" + std::to_string(total) + "] " + name;
}

// The failure for a clip file without a video stream.
inline std::string no_picture_message(const std::string& name) {
  return "Fehler bei " + name + ": kein Bild, die Datei enthält keine Videospur";
}
