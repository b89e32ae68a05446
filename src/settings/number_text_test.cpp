#include "settings/number_text.h"

#include <gtest/gtest.h>

TEST(DoubleText, ShortestRoundTripWithPointOrExponent) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {2.5, "2.5"},
      {3.0, "3.0"},
      {10.0, "10.0"},
      {12.3457, "12.3457"},
      {0.1, "0.1"},
      {9.266, "9.266"},
      {10.0 / 3.0, "3.3333333333333335"},
      {0.0001, "0.0001"},
      {5e-05, "5e-05"},
      {1.5e-07, "1.5e-07"},
      {1e16, "1e+16"},
      {9999999999999998.0, "9999999999999998.0"},
      {1.2345e22, "1.2345e+22"},
      {1e100, "1e+100"},
      {-19.45, "-19.45"},
      {123456789.125, "123456789.125"},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(double_text(value), expected) << expected;
}

TEST(TagSecondsText, RoundsToFourDecimalsHalfToEvenOnTheExactValue) {
  EXPECT_EQ(tag_seconds_text(0.0), "0.0");
  EXPECT_EQ(tag_seconds_text(2.5), "2.5");
  EXPECT_EQ(tag_seconds_text(10), "10.0");
  EXPECT_EQ(tag_seconds_text(3.14159265), "3.1416");
  EXPECT_EQ(tag_seconds_text(12.34567), "12.3457");
  // 1.03125 is exact in binary: a true tie, rounded to the even neighbour.
  EXPECT_EQ(tag_seconds_text(1.03125), "1.0312");
  // 0.00005 lies just above the tie in binary, so it rounds up.
  EXPECT_EQ(tag_seconds_text(0.00005), "0.0001");
  EXPECT_EQ(tag_seconds_text(0.00004), "0.0");
}

TEST(FixedText, RoundsToTheGivenDecimals) {
  EXPECT_EQ(fixed_text(0.9, 2), "0.90");
  EXPECT_EQ(fixed_text(9.3, 2), "9.30");
  EXPECT_EQ(fixed_text(8.4, 1), "8.4");
  EXPECT_EQ(fixed_text(12.0, 1), "12.0");
  EXPECT_EQ(fixed_text(0.125, 2), "0.12");  // exact tie: half to even
  EXPECT_EQ(fixed_text(19.449999, 2), "19.45");
  EXPECT_EQ(fixed_text(0.0, 2), "0.00");
}
