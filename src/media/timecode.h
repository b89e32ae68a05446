#pragma once

#include <optional>
#include <string>
#include <string_view>

// SMPTE timecodes as media files carry them in their tags: "10:00:00:00", or with a drop-frame
// mark before the frames, "01:00:00;00". Reading one at a frame rate, moving it on by frames and
// writing it back, so a cut clip and an editor's timeline can say which source frame comes first.

// A frame rate as FFmpeg states it, num / den frames per second ("30000/1001").
struct FrameRate {
  long long num = 0;
  long long den = 1;
};

// "30000/1001" or "25": both parts whole numbers from 1 to 10^9. Nothing for anything else,
// "0/0" included.
std::optional<FrameRate> frame_rate_from_text(std::string_view text);

// The frames a timecode counts per second: the rate rounded to a whole number (30 for 29.97).
int timecode_fps(FrameRate rate);

// True for the NTSC rates that run slightly slower than their timecode (29.97, 23.976, 59.94):
// those that are no whole number of frames per second.
bool is_ntsc_rate(FrameRate rate);

// A timecode as the number of its frame. Drop-frame timecodes (rates of multiples of 29.97) skip
// two frame numbers per 30 timecode frames at the start of every minute except every tenth, so
// the timecode keeps pace with the clock; `frame` counts only the numbers that exist.
struct Timecode {
  long long frame = 0;  // frames since 00:00:00:00
  FrameRate rate;
  bool drop_frame = false;
};

// "HH:MM:SS:FF" (two digits each, the frames up to three), with ";", "," or "." before the
// frames for drop-frame, read at `rate`. Nothing for any other text, fields out of range (24 hours
// and beyond included), drop-frame at a rate that is no multiple of 30 timecode frames, or a
// frame number that drop-frame skips.
std::optional<Timecode> parse_timecode(std::string_view text, FrameRate rate);

// The timecode `frames` later (earlier when negative), wrapping around at 24 hours.
Timecode add_frames(const Timecode& timecode, long long frames);

// The text form FFmpeg writes: "10:00:03:00", drop-frame "01:00:03;00".
std::string timecode_text(const Timecode& timecode);

// The same clock time as a non-drop-frame timecode at `rate`, for a copy made at another frame
// rate: hours, minutes and seconds stay, the frames are scaled and rounded to the nearest one.
Timecode timecode_at_rate(const Timecode& timecode, FrameRate rate);

// The number of the first frame that FFmpeg keeps when it starts a file `seconds` after its
// first frame: the first frame at or after that time. A start up to a thousandth of a frame
// past a frame still keeps it, since FFmpeg rounds the start to the stream's clock. 0 for
// times before the first frame.
long long first_frame_at(double seconds, FrameRate rate);
