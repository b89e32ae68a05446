#include "settings/path_text.h"

#include <gtest/gtest.h>

TEST(PathText, NamesStemsAndExtensions) {
  EXPECT_EQ(file_name_of("/a/b/Interview.take2.mkv"), "Interview.take2.mkv");
  EXPECT_EQ(extension_of("/a/b/Interview.take2.mkv"), ".mkv");
  EXPECT_EQ(stem_of("/a/b/Interview.take2.mkv"), "Interview.take2");
  EXPECT_EQ(extension_of("clip.MP4"), ".MP4");
  EXPECT_EQ(extension_of(".wav"), "");
  EXPECT_EQ(stem_of(".wav"), ".wav");
  EXPECT_EQ(extension_of("/folder.d/noext"), "");
  EXPECT_EQ(extension_of("name."), ".");
  EXPECT_EQ(file_name_of("plain"), "plain");
#ifdef _WIN32
  EXPECT_EQ(file_name_of("C:\\Clips\\A B.mp4"), "A B.mp4");
#endif
}

TEST(PathText, Utf8RoundTripAndAbsoluteForm) {
  const std::string text = "/tmp/Grüße/ä b.mp4";
  EXPECT_EQ(path_to_utf8(path_from_utf8(text)), text);
  const fs::path base = fs::temp_directory_path();
  EXPECT_EQ(absolute_form_text(path_to_utf8(base / "x" / ".." / "y" / "." / "z.mp4")),
            path_to_utf8(absolute_form(base) / "y" / "z.mp4"));
  EXPECT_EQ(absolute_form(fs::path("rel.mp4")), fs::current_path() / "rel.mp4");
}
