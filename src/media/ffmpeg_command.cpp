#include "media/ffmpeg_command.h"

PictureFit picture_fit(const std::optional<PictureFacts>& picture,
                       const std::function<SdrConversion()>& conversion) {
  PictureFit fit;
  if (!picture)
    return fit;
  fit.anamorphic = !picture->square_pixels;
  if (picture->colour.transfer != Transfer::sdr)
    fit.to_sdr = sdr_filters(picture->colour, conversion());
  return fit;
}

std::string fit_to_frame_filter(FrameSize frame, FitFinish finish, const PictureFit& fit) {
  const std::string w = std::to_string(frame.width);
  const std::string h = std::to_string(frame.height);
  // force_original_aspect_ratio fits the stored pixels; the shown picture (its display aspect
  // "dar") needs the size worked out, even for 4:2:0, and the scale then leaves square pixels.
  std::string filter = fit.anamorphic
                           ? "scale=w='min(" + w + ",2*round(" + h + "*dar/2))':h='min(" + h +
                                 ",2*round(" + w + "/dar/2))'"
                           : "scale=" + w + ":" + h + ":force_original_aspect_ratio=decrease";
  if (!fit.to_sdr.empty())
    filter += "," + fit.to_sdr;
  filter += ",pad=" + w + ":" + h + ":(ow-iw)/2:(oh-ih)/2";
  if (finish == FitFinish::square_yuv420p)
    filter += ",setsar=1,format=yuv420p";
  else if (fit.anamorphic)
    filter += ",setsar=1";  // the scale's rounding would leave a sample aspect next to 1:1
  return filter;
}

std::vector<std::string> colour_tag_args(const PictureFit& fit) {
  if (fit.to_sdr.empty())
    return {};
  return bt709_tag_args();
}

std::vector<std::string> h264_args(H264Form form) {
  if (form == H264Form::encoder_choice)
    return {"-c:v", "libx264", "-preset", "fast", "-crf", "18"};
  return {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-profile:v",
          "high", "-crf",    "18",       "-preset", "fast"};
}

std::vector<std::string> aac_args() {
  return {"-c:a", "aac", "-b:a", "192k"};
}

void append_args(std::vector<std::string>& args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
}
