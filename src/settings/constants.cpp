#include "settings/constants.h"

#include <map>
#include <stdexcept>

#include "settings/path_text.h"

namespace {

const std::map<std::string, AudioOutput> AUDIO_OUT = {
    {".wav", {".wav", {"-c:a", "pcm_s16le"}}},
    {".mp3", {".mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}}},
    {".flac", {".flac", {"-c:a", "flac"}}},
};

const AudioOutput AUDIO_OUT_DEFAULT = {".m4a",
                                       {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"}};

}  // namespace

const AudioOutput& audio_output_for(const std::string& extension) {
  const auto it = AUDIO_OUT.find(to_lower_ascii(extension));
  return it == AUDIO_OUT.end() ? AUDIO_OUT_DEFAULT : it->second;
}

FrameSize frame_size_for(const std::string& label) {
  for (const auto& [name, frame] : RES_OPTIONS) {
    if (name == label)
      return frame;
  }
  throw std::runtime_error("Unbekannte Auflösung: " + label);
}

bool is_audio_file(const std::string& path_text) {
  return AUDIO_EXTS.count(to_lower_ascii(extension_of(path_text))) > 0;
}

bool has_media_extension(const std::string& path_text) {
  const std::string extension = to_lower_ascii(extension_of(path_text));
  return VIDEO_EXTS.count(extension) > 0 || AUDIO_EXTS.count(extension) > 0;
}
