#include "settings/pending_files.h"

#include <gtest/gtest.h>

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
