#pragma once

#include <optional>
#include <string>

#include "settings/constants.h"
#include "settings/json_text.h"

// The settings one cut works with, read once from the settings object when the cut of a
// recording begins and checked there: a value the cut cannot use fails it before any child
// runs, and a value that reaches FFmpeg's filter text can only mean what it says.
struct CutSettings {
  FrameSize frame;
  std::string output_folder;
  std::string suffix;             // part of a file name: no separator, nothing a name cannot hold
  std::string silence_threshold;  // FFmpeg's notation ("-35dB"), a plain value
  std::string silence_duration;   // seconds as FFmpeg reads them ("0.5"), a plain value
  double add_padding = 0.0;
  bool trim_silence = true;
  double trim_padding = 0.1;
  // Jump cuts: the pauses of at least pause_min seconds inside the clip are cut out, pause_keep
  // seconds of each kept at either side of the cut.
  bool cut_pauses = false;
  double pause_min = 0.5;
  double pause_keep = 0.15;
  std::optional<double> loudness_target;  // LUFS; nothing leaves the loudness as recorded
};

// The settings of `cfg`. A missing required key throws "Einstellung fehlt: <key>", an unknown
// resolution "Unbekannte Auflösung: <label>", an unusable value "Ungültiger Wert für <key>:
// <value>" (and, for the paddings, "Ungültiger Zahlenwert für <key>: <value>", as always). The
// keys after the eight mean their default when absent or null.
CutSettings cut_settings_from(const Json& cfg);
