#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "media/ffmpeg_tools.h"
#include "media/timecode.h"

// Readers of the JSON that "ffprobe -v quiet -print_format json -show_format" prints, kept apart
// from running ffprobe so they can be tested on text.

// A number written as text the way ffprobe and the tags write it ("12.345000", " 2.5", "1e3"):
// surrounding white space allowed, the whole rest must be one finite decimal number.
std::optional<double> number_from_text(std::string_view text);

// format.duration in seconds. Throws std::runtime_error when the text is not JSON, the member is
// missing or it is not a finite number.
double duration_from_probe_json(const std::string& json_text);

// The handle pair from format.tags: the upper-case tag unless it is absent or empty, else the
// lower-case one. Nothing when either is missing, not a number, or the JSON is unusable.
std::optional<HandlePair> handles_from_probe_json(const std::string& json_text);

// True when the probe's streams section lists a stream of codec_type "audio" (the streams
// "-select_streams a" would pick); false when it lists none or the JSON is unusable.
bool has_sound_track_in_probe_json(const std::string& json_text);

// The same for a stream of codec_type "video".
bool has_picture_in_probe_json(const std::string& json_text);

// The channels of the first sound stream in the probe's streams section, 0 when it lists none.
// Nothing when there is no usable streams section or that stream's count is not a positive number.
std::optional<int> sound_channels_in_probe_json(const std::string& json_text);

// Where a probed file's timecode comes from: the "timecode" tag (in any letter case) of its first
// video stream, else of a data stream (a tmcd track), else of the format. Nothing when none of
// them has one. The timecode is read at the rate FFmpeg encodes that video stream at (its
// r_frame_rate, or avg_frame_rate where r_frame_rate is missing or a clock far above it); `start`
// is nothing when the text or the rate is unusable, and always for files without video.
std::optional<ProbedTimecode> timecode_from_probe_json(const std::string& json_text);

// True when the probe's streams section is there and lists no stream of codec_type "video": the
// file has no picture. False when it lists one, or when the JSON does not tell.
bool picture_missing_in_probe_json(const std::string& json_text);
