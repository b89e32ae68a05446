#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "media/timecode.h"

// Readers of the JSON that "ffprobe -v quiet -print_format json -show_format" prints, kept apart
// from running ffprobe so they can be tested on text.

// A number written as text the way ffprobe and the tags write it ("12.345000", " 2.5", "1e3"):
// surrounding white space allowed, the whole rest must be one finite decimal number.
std::optional<double> number_from_text(std::string_view text);

// The duration in seconds that the file states: format.duration, else the longest that its
// streams state (their duration entry, or the DURATION tag that Matroska keeps, "HH:MM:SS.nnn").
// Nothing when none does (a browser's WebM states none) or the JSON is unusable: never 0 in place
// of a length.
std::optional<double> duration_from_probe_json(const std::string& json_text);

// The handle pair from format.tags: the upper-case tag unless it is absent or empty, else the
// lower-case one. Nothing when either is missing, not a number, or the JSON is unusable.
std::optional<HandlePair> handles_from_probe_json(const std::string& json_text);

// The joins of a clip, from the format's TAVELMOR_CUTS tag (upper case unless it is absent or
// empty, else lower case): comma-separated seconds, rising. Empty when there is no tag, or when
// any entry is no number or the entries do not rise, so a damaged tag never places an edit.
std::vector<double> cuts_from_probe_json(const std::string& json_text);

// The picture of the first stream of codec_type "video": its width and height stretched by a
// sample aspect ratio other than 1:1 (the width grows, rounded to an even number) and swapped for
// a rotation by a quarter or three quarters turn (the "rotation" side data, or the older "rotate"
// tag), and the rate FFmpeg encodes it at. Nothing when there is no such stream or its size is
// not a pair of positive numbers. Its colour coding from color_transfer, color_primaries,
// color_space and color_range.
std::optional<PictureFacts> picture_from_probe_json(const std::string& json_text);

// The sample rate and bit depth of the first stream of codec_type "audio" (its bits_per_sample,
// else bits_per_raw_sample); 0 for each the probe does not tell.
SoundFormat sound_format_in_probe_json(const std::string& json_text);

// True when the probe's streams section lists a stream of codec_type "audio" (the streams
// "-select_streams a" would pick); false when it lists none or the JSON is unusable.
bool has_sound_track_in_probe_json(const std::string& json_text);

// The same for a stream of codec_type "video".
bool has_picture_in_probe_json(const std::string& json_text);

// How many streams of codec_type "audio" the probe lists; 0 when none or the JSON is unusable.
int sound_track_count_in_probe_json(const std::string& json_text);

// The sample rate of each stream of codec_type "audio", in their order; 0 for each the probe does
// not tell. Empty when there is none or the JSON is unusable.
std::vector<int> sound_rates_in_probe_json(const std::string& json_text);

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
