#include "media/output_lines.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The lines that the chunks give, in order, the end of the stream included.
std::vector<std::string> lines_of(const std::vector<std::string>& chunks) {
  std::vector<std::string> lines;
  const OutputLineFn to = [&](std::string_view line) { lines.emplace_back(line); };
  OutputLines splitter(to);
  for (const std::string& chunk : chunks)
    splitter.add(chunk);
  splitter.finish();
  return lines;
}

}  // namespace

TEST(OutputLines, LinesWhereverTheChunksEnd) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(lines_of({"out_time_us=1\nprogress=continue\n"}),
            (Lines{"out_time_us=1", "progress=continue"}));
  EXPECT_EQ(lines_of({"out_ti", "me_us=1", "5\r", "\nnext"}), (Lines{"out_time_us=15", "next"}));
  EXPECT_EQ(lines_of({"\n", "\r\n", "a\n"}), (Lines{"", "", "a"}));
  EXPECT_EQ(lines_of({"a\rb\n"}), (Lines{"a\rb"})) << "a bare CR is no line end";
  EXPECT_EQ(lines_of({}), Lines{});
  EXPECT_EQ(lines_of({"", ""}), Lines{});
}

TEST(OutputLines, AnOverlongLineIsPassedOverWhole) {
  const std::string overlong(MAX_HANDED_LINE + 1, '7');
  const std::string longest(MAX_HANDED_LINE, '7');
  using Lines = std::vector<std::string>;
  EXPECT_EQ(lines_of({"out_time_us=", overlong, "\nnext\n"}), (Lines{"next"}));
  EXPECT_EQ(lines_of({longest.substr(0, 10), longest.substr(10), "\n"}), (Lines{longest}));
  EXPECT_EQ(lines_of({"x", overlong}), Lines{}) << "also at the end of the stream";
}
