#include "autocut/speech_bounds.h"

#include <gtest/gtest.h>

#include "support/test_util.h"

namespace {

struct BoundsCase {
  const char* name;
  double total;
  std::vector<Silence> silences;
  double padding;
  double start;
  double end;
  bool whole_file;
};

}  // namespace

TEST(SpeechBoundsWithin, OnlySilencesTouchingTheEdgesCount) {
  const BoundsCase cases[] = {
      {"no silences", 10.0, {}, 0.1, 0.0, 10.0, false},
      {"opening and closing silence, the inner one ignored",
       10.0,
       {{0.0, 1.0}, {4.0, 4.5}, {9.2, 10.0}},
       0.1,
       0.9,
       9.3,
       false},
      {"a first silence at 0.1 exactly does not open the file",
       10.0,
       {{0.1, 1.0}},
       0.0,
       0.0,
       10.0,
       false},
      {"a last silence ending at total - 0.1 exactly does not close it",
       10.0,
       {{8.0, 9.9}},
       0.0,
       0.0,
       10.0,
       false},
      {"padding wider than the opening silence is clamped at 0",
       10.0,
       {{0.0, 0.5}, {9.0, 10.0}},
       1.0,
       0.0,
       10.0,
       false},
      {"one silence over the whole file falls back", 10.0, {{0.0, 10.0}}, 0.1, 0.0, 10.0, true},
      {"a padding of half the file crosses the bounds back",
       10.0,
       {{0.0, 10.0}},
       6.0,
       4.0,
       6.0,
       false},
      {"0.25 s of speech is too short", 10.0, {{0.0, 5.0}, {5.25, 10.0}}, 0.0, 0.0, 10.0, true},
      {"just over 0.3 s of speech is enough",
       10.0,
       {{0.0, 5.0}, {5.3125, 10.0}},
       0.0,
       5.0,
       5.3125,
       false},
      {"a short file without silences falls back", 0.2, {}, 0.1, 0.0, 0.2, true},
  };
  for (const BoundsCase& c : cases) {
    const SpeechBounds bounds = speech_bounds_within(c.total, c.silences, c.padding);
    EXPECT_NEAR(bounds.start, c.start, 1e-9) << c.name;
    EXPECT_NEAR(bounds.end, c.end, 1e-9) << c.name;
    EXPECT_EQ(bounds.whole_file, c.whole_file) << c.name;
  }
}

namespace {

std::vector<std::string> bounds_log(const std::string& report, double total, double padding,
                                    SpeechBounds& bounds) {
  std::vector<std::string> lines;
  bounds = find_speech_bounds(total, parse_silence_report(report).silences, padding,
                              [&](const std::string& m) { lines.push_back(m); });
  return lines;
}

}  // namespace

TEST(FindSpeechBounds, LogsTheSpeechSectionOrTheFallback) {
  SpeechBounds bounds{};
  const auto lines = bounds_log(
      "silence_end: 1.0\nsilence_start: 4.0\nsilence_end: 4.5\nsilence_start: 9.2\nsilence_end: "
      "10\n",
      10.0, 0.1, bounds);
  EXPECT_EQ(lines, std::vector<std::string>{"Sprache: 0.90s – 9.30s (8.4s)"});
  EXPECT_NEAR(bounds.start, 0.9, 1e-9);
  EXPECT_NEAR(bounds.end, 9.3, 1e-9);

  const auto fallback = bounds_log("silence_start: 0\nsilence_end: 10.0\n", 10.0, 0.1, bounds);
  EXPECT_EQ(fallback, std::vector<std::string>{
                          "Sprache-Trimming nicht möglich – behalte gesamten Abschnitt"});
  EXPECT_EQ(bounds.start, 0.0);
  EXPECT_EQ(bounds.end, 10.0);
}
