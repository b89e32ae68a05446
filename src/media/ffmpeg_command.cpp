#include "media/ffmpeg_command.h"

std::string fit_to_frame_filter(FrameSize frame, FitFinish finish) {
  const std::string w = std::to_string(frame.width);
  const std::string h = std::to_string(frame.height);
  std::string filter = "scale=" + w + ":" + h + ":force_original_aspect_ratio=decrease,pad=" + w +
                       ":" + h + ":(ow-iw)/2:(oh-ih)/2";
  if (finish == FitFinish::square_yuv420p)
    filter += ",setsar=1,format=yuv420p";
  return filter;
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
