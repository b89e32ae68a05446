#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Recordings with several sound tracks (screen and streaming recorders: the desktop's sound on
// one, the microphone on another). The speech is taken from the loudest track over the whole
// recording, measured as its mean level. The mix of all tracks was the other choice; it would let
// a track's steady sound (music or a game on the desktop, quieter than the voice) fill the
// speaker's pauses, so the take search would find none, and it would lower the voice by the mix's
// share. The loudest track is an original track, kept as it was recorded, and it is the voice
// wherever the voice is what the recording is about.

// The tracks measured at most: the speech is looked for among the first ones of a file that has
// more (no recorder writes so many).
inline constexpr size_t MEASURED_TRACKS = 16;

// The filter that measures the mean level of sound track `track` (0-based among the sound
// tracks), named so that its report can be told from those of the other tracks.
std::string track_level_filter(size_t track);

// The mean level in dB of each of `count` tracks, from FFmpeg's report of their
// track_level_filter; nothing for a track the report gives none for (digital silence included).
std::vector<std::optional<double>> track_levels_from_report(std::string_view report, size_t count);

// The loudest of the measured tracks, the first of equals; 0 when none was measured.
size_t loudest_track(const std::vector<std::optional<double>>& levels);

// The track of `fp`'s `count` sound tracks that carries the speech, from one FFmpeg run that
// decodes the sound alone; 0 without a run when there are fewer than two. Throws with FFmpeg's
// error tail when the run fails.
size_t speech_track(const std::string& fp, size_t count);

// The dispositions of `count` sound tracks kept in that order: the speech, first, as the default
// track that players and editors play. None for one track or none.
std::vector<std::string> sound_track_dispositions(size_t count);

// The maps and dispositions of the sound in an encode that keeps all `count` tracks of input 0:
// the speech track first, as the default track that players and editors play, the others after
// it in their order. With one track or none, the plain "0:a?" that takes whatever there is.
std::vector<std::string> sound_track_maps(size_t speech, size_t count);
