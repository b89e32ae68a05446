#include "export/fcpxml_time.h"

#include <gtest/gtest.h>

#include "export/fcpxml_test_support.h"

namespace {

std::string frame_text(const std::optional<FrameDuration>& frame) {
  return frame ? frame_duration_text(*frame) : "none";
}

}  // namespace

TEST(FrameDurationForRate, NtscRatesAsFractionsOf1001AndWholeRatesAsEditorsWriteThem) {
  const std::pair<FrameRate, const char*> cases[] = {
      {{30000, 1001}, "1001/30000s"},
      {{2997, 100}, "1001/30000s"},  // a rounded NTSC rate as some files state it
      {{24000, 1001}, "1001/24000s"},
      {{60000, 1001}, "1001/60000s"},
      {{2997, 125}, "1001/24000s"},
      {{25, 1}, "100/2500s"},
      {{60, 1}, "100/6000s"},
      {{10802, 360}, "100/3000s"},  // a phone's variable rate, averaged
      {{25, 2}, "2/25s"},
      {{1000, 1}, "100/100000s"},
      {{1, 2}, "none"},
      {{90000, 1}, "none"},  // a container's clock, not a rate
  };
  for (const auto& [rate, text] : cases)
    EXPECT_EQ(frame_text(frame_duration_for_rate(rate)), text) << rate.num << "/" << rate.den;
}

TEST(WholeFrames, RoundedDownButAtLeastOneTimelineFrame) {
  struct Case {
    double seconds;
    FrameDuration frame;
    long long frames;
  };
  const Case cases[] = {
      {1.0, {100, 3000}, 30},
      {0.9999999, {100, 3000}, 30},
      {1.02, {100, 3000}, 30},
      {10.0, {1001, 30000}, 299},
      {0.0, {100, 3000}, 1},
      {0.001, {100, 12000}, 2},  // 120 fps: two frames make one timeline frame
  };
  for (const Case& c : cases)
    EXPECT_EQ(whole_frames(c.seconds, c.frame), c.frames) << c.seconds << " " << c.frame.den;
}

TEST(ClipPieces, EdgesOnTheFilesFramesLengthsOnTheTimelines) {
  using Pieces = std::vector<std::pair<long long, long long>>;
  struct Case {
    FrameDuration frame;
    long long file_frames;
    double t_start;
    double t_end;
    std::vector<double> joins;
    Pieces pieces;
  };
  const Case cases[] = {
      {{100, 3000}, 300, 1.0, 9.0, {}, {{30, 480}}},
      // 25 fps: a frame is 2.4 timeline frames, so each piece keeps the whole ones that fit.
      {{100, 2500}, 250, 0.5, 10.0, {2.0, 4.03}, {{13, 88}, {50, 122}, {101, 357}}},
      // An end past the file ends with the file.
      {{100, 3000}, 300, 0.0, 20.0, {}, {{0, 600}}},
      {{1001, 30000}, 299, 0.0, 10.0, {}, {{0, 598}}},
      // A piece shorter than a timeline frame is left out.
      {{100, 12000}, 120, 0.0, 1.0, {0.5, 0.505}, {{0, 30}, {61, 29}}},
      // Nothing left: one timeline frame, moved back from the file's end.
      {{100, 3000}, 150, 5.0, 5.001, {}, {{149, 1}}},
  };
  for (const Case& c : cases) {
    Pieces pieces;
    for (const ClipPiece& piece : clip_pieces(c.frame, c.file_frames, c.t_start, c.t_end, c.joins))
      pieces.emplace_back(piece.in_frame, piece.timeline_frames);
    EXPECT_EQ(pieces, c.pieces) << c.t_start << " " << c.frame.den;
  }
}

// Whatever the rate, span and joins: each piece at least one timeline frame, none reaching into
// the next or past the file's end.
TEST(ClipPieces, NoPieceOverlapsTheNextOrPassesTheFilesEnd) {
  const FrameDuration frames[] = {{100, 2400}, {1001, 24000}, {100, 2500},  {1001, 30000},
                                  {100, 5000}, {1001, 60000}, {100, 12000}, {2, 25}};
  for (const FrameDuration& frame : frames) {
    for (int step = 0; step < 200; ++step) {
      const double length = 0.01 + step * 0.173;
      const long long file_frames = whole_frames(length, frame);
      const double t_start = (step % 7) * 0.031;
      const double t_end = length - (step % 5) * 0.017 + (step % 3 == 0 ? 1.0 : 0.0);
      const std::vector<double> joins = {t_start + 0.004 * step, t_start + 0.0051 * step + 0.01,
                                         length * 0.7};
      const auto pieces = clip_pieces(frame, file_frames, t_start, t_end, joins);
      ASSERT_FALSE(pieces.empty());
      const Ratio file_frame = ratio(frame.num, frame.den);
      const Ratio file_end = ratio(file_frames * frame.num, frame.den);
      for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_GE(pieces[i].timeline_frames, 1);
        const Ratio start = ratio(pieces[i].in_frame * frame.num, frame.den);
        const Ratio end = start + ratio(pieces[i].timeline_frames, 60);
        const Ratio limit =
            i + 1 < pieces.size() ? ratio(pieces[i + 1].in_frame * frame.num, frame.den) : file_end;
        EXPECT_TRUE(end <= limit) << "rate " << file_frame << " step " << step << " piece " << i;
      }
    }
  }
}
