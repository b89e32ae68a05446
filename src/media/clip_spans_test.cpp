#include "media/clip_spans.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::pair<double, double>> pairs_of(const std::vector<ClipSpan>& spans) {
  std::vector<std::pair<double, double>> pairs;
  for (const ClipSpan& span : spans)
    pairs.emplace_back(span.start, span.end);
  return pairs;
}

}  // namespace

TEST(SpansBetweenJoins, OnlyJoinsInsideTheHandlesSplit) {
  using Pairs = std::vector<std::pair<double, double>>;
  EXPECT_EQ(pairs_of(spans_between_joins(0.0, 6.0, {})), (Pairs{{0.0, 6.0}}));
  EXPECT_EQ(pairs_of(spans_between_joins(0.0, 6.0, {1.5, 4.0})),
            (Pairs{{0.0, 1.5}, {1.5, 4.0}, {4.0, 6.0}}));
  // Handles that trim the clip: joins on or beyond them would give empty or reversed spans.
  EXPECT_EQ(pairs_of(spans_between_joins(1.5, 5.0, {1.0, 1.5, 3.0, 5.0, 5.5})),
            (Pairs{{1.5, 3.0}, {3.0, 5.0}}));
}
