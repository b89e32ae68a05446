#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "media/sdr_conversion.h"
#include "settings/constants.h"

// The pieces of the FFmpeg commands that encode the backend's clips, masters and editor copies:
// the picture fitted into the chosen frame, H.264 and AAC. Written once, so every encode fits and
// encodes alike; each caller asks for the form its files have always had.

// What follows the fit in the filter: square pixels and yuv420p (what the H.264 High encodes
// need), or nothing, leaving both to the encoder.
enum class FitFinish { square_yuv420p, none };

// What the fit must know of a picture beyond its stored size.
struct PictureFit {
  bool anamorphic = false;  // its pixels are not square: the shown picture is fitted
  std::string to_sdr;       // the filters that bring an HDR picture to BT.709 SDR; empty for SDR
};

// The fit for a probed picture. `conversion` is asked only for an HDR picture. Nothing unusual
// for a picture the probe did not tell.
PictureFit picture_fit(const std::optional<PictureFacts>& picture,
                       const std::function<SdrConversion()>& conversion);

// The filter that scales a picture down into `frame`, keeping the aspect ratio it is shown at,
// and pads it to the frame, centred. An HDR picture is brought to SDR between the two, on the
// scaled-down picture. A fit without anything unusual is the plain scale and pad.
std::string fit_to_frame_filter(FrameSize frame, FitFinish finish = FitFinish::square_yuv420p,
                                const PictureFit& fit = {});

// The encoder's colour tags for a picture fitted by `fit`: BT.709 where it was brought to SDR,
// none otherwise (the encoder then says what the picture said).
std::vector<std::string> colour_tag_args(const PictureFit& fit);

// H.264 at quality 18 with the preset "fast": as High profile in yuv420p, or in the encoder's own
// choice of both (the editor copies).
enum class H264Form { high_yuv420p, encoder_choice };

std::vector<std::string> h264_args(H264Form form = H264Form::high_yuv420p);

// AAC at 192 kb/s.
std::vector<std::string> aac_args();

// Appends `more` to `args`.
void append_args(std::vector<std::string>& args, const std::vector<std::string>& more);
