#include "settings/pending_files.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "support/test_util.h"

TEST(PendingFiles, AnEarlyEndRemovesWhatIsBeingMadeAndNothingElse) {
  ScopedTempDir scratch;
  write_text_file(scratch / "earlier result.mp4", "complete");
  {
    const PendingFile folder(scratch / "tavelmor_work");
    fs::create_directories(folder.path() / "inner");
    write_text_file(folder.path() / "inner" / "norm_0000.mp4", "x");
    const PendingFile partial(scratch / "clip.partial.mp4");
    write_text_file(partial.path(), "half");
    const PendingFile moved(scratch / "master.partial.mp4");
    write_text_file(moved.path(), "done");
    fs::rename(moved.path(), scratch / "master.mp4");

    remove_pending_files();
    EXPECT_FALSE(fs::exists(folder.path()));
    EXPECT_FALSE(fs::exists(partial.path()));
    // The registrations stay: what the step makes again goes when its scope ends.
    write_text_file(partial.path(), "again");
  }
  EXPECT_FALSE(fs::exists(scratch / "clip.partial.mp4"));
  EXPECT_EQ(read_text_file(scratch / "earlier result.mp4"), "complete");
  EXPECT_EQ(read_text_file(scratch / "master.mp4"), "done");
  remove_pending_files();
  EXPECT_EQ(read_text_file(scratch / "master.mp4"), "done") << "a finished scope stays unlisted";
}

TEST(PendingFiles, ATakenNameIsFollowedByAnotherUntilOneIsClaimed) {
  std::vector<fs::path> offered;
  const fs::path claimed = claim_temporary_path(
      "tavelmor_", ".txt",
      [&](const fs::path& path) {
        offered.push_back(path);
        return offered.size() == 3;
      },
      "nie");
  ASSERT_EQ(offered.size(), 3u);
  EXPECT_EQ(claimed, offered.back());
  EXPECT_NE(offered[0], offered[1]);
  EXPECT_EQ(claimed, fs::temp_directory_path() / claimed.filename());
  EXPECT_EQ(claimed.extension(), ".txt");
  EXPECT_EQ(claimed.filename().string().rfind("tavelmor_", 0), 0u);

  try {
    claim_temporary_path(
        "tavelmor_", "", [](const fs::path&) { return false; }, "kein Name frei");
    ADD_FAILURE() << "every name taken must fail";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "kein Name frei");
  }
}
