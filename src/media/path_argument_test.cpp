#include "media/path_argument.h"

#include <gtest/gtest.h>

#include <vector>

#include "settings/path_text.h"

// On Windows a colon after the first letter names a drive, which the system reads the same way.
#ifdef _WIN32
const std::vector<std::string> MISREAD = {"-rec.wav", "-", "-i x"};
const std::string ODD_NAME = "-c b.mp4";
#else
const std::vector<std::string> MISREAD = {"-rec.wav", "-", "-i x", "a:b.mp4", "pipe:1"};
const std::string ODD_NAME = "a:b -c.mp4";
#endif

TEST(PathArgument, RelativePathsThatToolsWouldMisreadBecomeAbsolute) {
  for (const std::string& relative : MISREAD) {
    const std::string argument = path_argument(relative);
    EXPECT_EQ(path_from_utf8(argument), fs::current_path() / path_from_utf8(relative)) << relative;
  }
  EXPECT_EQ(path_from_utf8(path_argument("out/Übung 1.mp4")),
            fs::current_path() / "out" / path_from_utf8("Übung 1.mp4"));
}

TEST(PathArgument, PathsFromARootStayAsTheyAre) {
  const std::string absolute = path_to_utf8(fs::current_path() / path_from_utf8(ODD_NAME));
  EXPECT_EQ(path_argument(absolute), absolute);
  EXPECT_EQ(path_argument("/c/a b.mp4"), "/c/a b.mp4");
  EXPECT_THROW(path_argument(std::string("/c/a.mp4\0.txt", 13)), std::runtime_error);
}
