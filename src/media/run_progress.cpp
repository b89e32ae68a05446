#include "media/run_progress.h"

#include "media/ffmpeg_progress.h"
#include "settings/constants.h"

ProcessResult run_ffmpeg_with_progress(std::vector<std::string> args, double span,
                                       const ProgressFn& progress) {
  constexpr OutputDecoding DECODING = OutputDecoding::replace_invalid;
  if (!progress || !(span > 0.0))
    return run_process(args, FFMPEG_TIMEOUT, DECODING);
  args.insert(args.begin() + 1, {"-progress", "pipe:1"});
  OutTimeShare share(span);
  return run_process(args, FFMPEG_TIMEOUT, DECODING, [&](std::string_view line) {
    if (const auto done = share.read(line))
      progress(*done);
  });
}
