#include "export/file_url.h"

#include <gtest/gtest.h>

#include "settings/path_text.h"
#include "support/test_util.h"

TEST(EditorFileUrl, WindowsDrivePathsKeepTheirDriveAndEncodeTheRest) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Users\\user\\My Clip.mp4", "file:///C:/Users/user/My%20Clip.mp4"},
      {"C:/Users/user/a:b.mp4", "file:///C:/Users/user/a%3Ab.mp4"},
      {"D:\\Clips\\[1] Take.mkv", "file:///D:/Clips/%5B1%5D%20Take.mkv"},
  };
  for (const auto& [path, url] : cases)
    EXPECT_EQ(file_url_of_resolved_path(path, "file:///"), url) << path;
  EXPECT_EQ(file_url_of_resolved_path("C:\\Users\\user\\My Clip.mp4", "file://localhost/"),
            "file://localhost/C:/Users/user/My%20Clip.mp4");
}

#ifdef _WIN32
TEST(EditorFileUrl, WindowsPathsAreResolvedAndKeepTheirDrive) {
  EXPECT_EQ(editor_file_url_davinci("C:\\Users\\user\\My Clip.mp4"),
            "file:///C:/Users/user/My%20Clip.mp4");
  EXPECT_EQ(editor_file_url_premiere("C:\\Users\\user\\My Clip.mp4"),
            "file://localhost/C:/Users/user/My%20Clip.mp4");
}
#else
TEST(EditorFileUrl, PosixPathsGetTheExtraSlashOfTheirEmptyFirstPart) {
  EXPECT_EQ(editor_file_url_davinci("/Users/user/My Clip.mp4"),
            "file:////Users/user/My%20Clip.mp4");
  EXPECT_EQ(editor_file_url_premiere("/Users/user/My Clip.mp4"),
            "file://localhost//Users/user/My%20Clip.mp4");
  EXPECT_EQ(editor_file_url_premiere("/Users/user/Clips/A B.mp4"),
            "file://localhost//Users/user/Clips/A%20B.mp4");
}
#endif

TEST(EditorFileUrl, EverythingButUnreservedCharactersIsPercentEncoded) {
  EXPECT_EQ(file_url_of_resolved_path("/x/Q&A #1?100%.mp4", "file:///"),
            "file:////x/Q%26A%20%231%3F100%25.mp4");
  EXPECT_EQ(file_url_of_resolved_path("/Bücher/ä~b-c_d.e", "file:///"),
            "file:////B%C3%BCcher/%C3%A4~b-c_d.e");
  // Only a first part may keep its colon.
  EXPECT_EQ(file_url_of_resolved_path("/C:/x", "file:///"), "file:////C%3A/x");
}

TEST(EditorFileUrl, RelativePathsAndLinksAreResolvedFirst) {
  ScopedTempDir dir;
  write_text_file(dir / "real" / "clip.mp4", "x");
  const std::string real = path_to_utf8(fs::canonical(dir / "real" / "clip.mp4"));
#ifndef _WIN32
  fs::create_directory_symlink(dir / "real", dir / "link");
  EXPECT_EQ(editor_file_url_davinci(path_to_utf8(dir / "link" / "clip.mp4")),
            file_url_of_resolved_path(real, "file:///"));
#endif

  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const std::string url = editor_file_url_davinci("real/../real/clip.mp4");
  fs::current_path(before);
  EXPECT_EQ(url, file_url_of_resolved_path(real, "file:///"));
}
