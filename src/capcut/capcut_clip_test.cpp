#include "capcut/capcut_clip.h"

#include <gtest/gtest.h>

namespace {

const FrameSize PORTRAIT_FRAME{1080, 1920};

ClipFacts facts_of(double duration, std::vector<double> cuts) {
  ClipFacts facts{};
  facts.duration = duration;
  facts.cuts = std::move(cuts);
  return facts;
}

}  // namespace

// Spans meet exactly and fill the clip, whatever rounding each end takes.
TEST(CapcutClipOf, SpansTileTheClipInWholeMicroseconds) {
  const struct {
    double duration;
    std::vector<double> cuts;
    std::vector<long long> starts;
  } cases[] = {
      {4.0, {}, {0}},
      {4.0, {1.5, 3.0}, {0, 1500000, 3000000}},
      {1.0000006, {0.3333333, 0.6666667}, {0, 333333, 666667}},
      {2.0, {-1.0, 0.0, 2.0, 5.0}, {0}},  // joins at or beyond the ends split nothing
      {2.0, {0.0000001, 1.0, 1.0000001}, {0, 1000000}},  // pieces under a microsecond are none
      {2.0, {1.5, 0.5}, {0, 1500000}},                   // joins that do not rise are passed over
  };
  for (const auto& c : cases) {
    const CapcutClip clip = capcut_clip_of("/c.mp4", facts_of(c.duration, c.cuts), PORTRAIT_FRAME);
    std::vector<long long> starts;
    long long end = 0;
    for (const CapcutSpan& span : clip.spans) {
      EXPECT_EQ(span.start_us, end);
      EXPECT_GT(span.duration_us, 0);
      starts.push_back(span.start_us);
      end = span.start_us + span.duration_us;
    }
    EXPECT_EQ(starts, c.starts) << c.duration;
    EXPECT_EQ(end, clip.duration_us) << c.duration;
  }
}
