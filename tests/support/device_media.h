#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Recordings shaped like what phones, screen recorders and browsers write, made with the real
// FFmpeg, and what the tests measure in the files made from them. Tiny and short, so a test that
// uses them stays quick.

namespace fs = std::filesystem;

// The grey that HDR test pictures show: RGB 105 of 255, which BT.709 codes as luma 106.
inline constexpr int TEST_GREY = 105;
inline constexpr double TEST_GREY_LUMA = 16.0 + 219.0 * TEST_GREY / 255.0;

// A phone's HDR recording: HEVC 10-bit, 160x90 at 30 fps, BT.2020, the transfer `transfer`
// ("arib-std-b67" for HLG, "smpte2084" for PQ), a flat grey of TEST_GREY coded with SDR white at
// the HDR reference white, a steady tone; turned by a rotation matrix of `rotation` degrees
// (0: none). The container follows the extension of `path`.
void make_hdr_recording(const fs::path& path, const std::string& transfer, double seconds,
                        int rotation);

// A screen recorder's file: a picture, the desktop's near-silent stereo sound as the first and
// default track, then the microphone's mono track with speech (a tone) and pauses alternating as
// `segments` say, starting with speech.
void make_two_track_recording(const fs::path& path, const std::vector<double>& segments);

// A camera's anamorphic clip: 144x108 stored pixels with a sample aspect of 4:3 (shown at
// 192x108), a flat grey picture and a tone.
void make_anamorphic_recording(const fs::path& path, double seconds);

// A browser's WebM: VP9 and Opus written as a live stream, so it states no duration and has no
// cues, with speech and pauses as `segments` say.
void make_browser_webm(const fs::path& path, const std::vector<double>& segments);

// The mean luma (8-bit, limited range) of the centre of the first frame of `path` from second
// `at` on.
double centre_luma(const fs::path& path, double at = 0.0);

// The picture inside the black bars of the first frames from second `at` on, as "WxH".
std::string content_box(const fs::path& path, double at = 0.0);

// The mean level in dB of sound track `track` of `path` from second `from` for `length` seconds.
double sound_level(const fs::path& path, int track, double from, double length);

// A talk whose picture shows when it speaks, for checks of sync: 64x48 at 30 fps, white while a
// 440 Hz tone of amplitude `level` sounds, black while it pauses. After `lead` seconds of pause
// come `words` words of `word` seconds with pauses of `pause` between them, then `tail` seconds
// of pause. Every `click_every` seconds (0: never) a click of three samples at 0.9 stands out of
// the tone where it sounds, peaks as a real voice has them. Sample-exact: the tone starts and
// stops at the words' ends. The container follows the extension of `path` (an audio extension
// gives the tone alone).
struct Talk {
  double lead;
  int words;
  double word;
  double pause;
  double tail;
};
void make_marked_talk(const fs::path& path, const Talk& talk, double level,
                      double click_every = 0.0);

// The times (seconds, as the file's frames carry them) of the frames whose centre turns bright
// after a dark one, the first frame included when it is bright.
std::vector<double> bright_onsets(const fs::path& path);

// The integrated loudness (LUFS) and the true peak (dBTP) of the first sound track of `path`,
// as FFmpeg's EBU R128 meter measures them.
struct MeasuredLoudness {
  double integrated;
  double true_peak;
};
MeasuredLoudness measured_loudness(const fs::path& path);
