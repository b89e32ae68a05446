#include "export/standard_file_url.h"

#include <gtest/gtest.h>

#include "settings/path_text.h"
#include "support/test_util.h"

TEST(StandardFileUrl, ThreeSlashesThenThePathWithEverythingButUnreservedBytesEncoded) {
  const std::pair<const char*, const char*> posix[] = {
      {"/Users/a/My Clip.mp4", "file:///Users/a/My%20Clip.mp4"},
      {"/x/Q&A #1?100%.mp4", "file:///x/Q%26A%20%231%3F100%25.mp4"},
      {"/Bücher/ä~b-c_d.e", "file:///B%C3%BCcher/%C3%A4~b-c_d.e"},
      // On POSIX systems a backslash and a colon are letters of a name.
      {"/a\\b/C:d.mp4", "file:///a%5Cb/C%3Ad.mp4"},
      {"/x/<\"'>;=@+,$!()*[]", "file:///x/%3C%22%27%3E%3B%3D%40%2B%2C%24%21%28%29%2A%5B%5D"},
  };
  for (const auto& [path, url] : posix)
    EXPECT_EQ(standard_file_url_of(path, PathStyle::posix), url) << path;

  const std::pair<const char*, const char*> windows[] = {
      {"C:\\Users\\a\\My Clip.mp4", "file:///C:/Users/a/My%20Clip.mp4"},
      {"d:/Clips/[1] Take.mkv", "file:///d:/Clips/%5B1%5D%20Take.mkv"},
      // Only the drive keeps its colon.
      {"C:\\x\\a:b.mp4", "file:///C:/x/a%3Ab.mp4"},
      {"\\\\server\\share\\a b.mp4", "file://server/share/a%20b.mp4"},
      {"\\\\?\\C:\\long\\ä.mp4", "file:///C:/long/%C3%A4.mp4"},
      {"\\\\?\\UNC\\server\\share\\a.mp4", "file://server/share/a.mp4"},
  };
  for (const auto& [path, url] : windows)
    EXPECT_EQ(standard_file_url_of(path, PathStyle::windows), url) << path;
}

TEST(StandardFileUrl, ThePathIsMadeAbsoluteAndItsLinksResolvedFirst) {
  ScopedTempDir dir;
  write_text_file(dir / "real" / "clip.mp4", "x");
  const std::string real = path_to_utf8(fs::canonical(dir / "real" / "clip.mp4"));
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const std::string url = standard_file_url("real/../real/clip.mp4");
  fs::current_path(before);
#ifdef _WIN32
  EXPECT_EQ(url, standard_file_url_of(real, PathStyle::windows));
  EXPECT_EQ(url.rfind("file:///", 0), 0u);
  EXPECT_EQ(url[9], ':');
#else
  EXPECT_EQ(url, standard_file_url_of(real, PathStyle::posix));
  fs::create_directory_symlink(dir / "real", dir / "link");
  EXPECT_EQ(standard_file_url(path_to_utf8(dir / "link" / "clip.mp4")), url);
#endif
}
