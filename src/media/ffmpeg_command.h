#pragma once

#include <string>
#include <vector>

#include "settings/constants.h"

// The pieces of the FFmpeg commands that encode the backend's clips, masters and editor copies:
// the picture fitted into the chosen frame, H.264 and AAC. Written once, so every encode fits and
// encodes alike; each caller asks for the form its files have always had.

// What follows the fit in the filter: square pixels and yuv420p (what the H.264 High encodes
// need), or nothing, leaving both to the encoder.
enum class FitFinish { square_yuv420p, none };

// The filter that scales a picture down into `frame`, keeping its aspect ratio, and pads it to
// the frame, centred.
std::string fit_to_frame_filter(FrameSize frame, FitFinish finish = FitFinish::square_yuv420p);

// H.264 at quality 18 with the preset "fast": as High profile in yuv420p, or in the encoder's own
// choice of both (the editor copies).
enum class H264Form { high_yuv420p, encoder_choice };

std::vector<std::string> h264_args(H264Form form = H264Form::high_yuv420p);

// AAC at 192 kb/s.
std::vector<std::string> aac_args();

// Appends `more` to `args`.
void append_args(std::vector<std::string>& args, const std::vector<std::string>& more);
