#include "capcut/draft_folder.h"

#include <gtest/gtest.h>

TEST(CustomDraftPathIn, ReadsTheGeneralKeyAsQtWroteIt) {
  const struct {
    std::string settings;
    std::optional<std::string> path;
  } cases[] = {
      // Windows doubles its backslashes.
      {"[General]\r\ncurrentCustomDraftPath=D:\\\\CapCut Drafts\\\\Neu\r\n",
       "D:\\CapCut Drafts\\Neu"},
      {"[General]\ncurrentCustomDraftPath = /Volumes/Extern/Drafts \n", "/Volumes/Extern/Drafts"},
      {"[General]\ncurrentCustomDraftPath=\"D:/Schnitt, alt\"\n", "D:/Schnitt, alt"},
      {"[General]\ncurrentCustomDraftPath=D:/Schnitt \\x00fc\\x20ac\n", "D:/Schnitt ü€"},
      {"[General]\ncurrentCustomDraftPath=D:/Schnitt ü\n", "D:/Schnitt ü"},
      {"[General]\ncurrentCustomDraftPath=D:/Clips \\xd83c\\xdfac\n", "D:/Clips \U0001F3AC"},
      // Elsewhere, absent or empty.
      {"[Other]\ncurrentCustomDraftPath=D:/x\n", std::nullopt},
      {"currentCustomDraftPath=D:/x\n[General]\n", std::nullopt},
      {"[General]\ncurrentcustomdraftpath=D:/x\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=\n", std::nullopt},
      {"", std::nullopt},
      // No single plain text: a list, a comment, a variant, a broken escape or quote.
      {"[General]\ncurrentCustomDraftPath=D:/a,D:/b\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=D:/a;x\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=@Variant(\\0\\0\\0)\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=D:\\new\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=D:/x\\\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=\"D:/x\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=D:/\\xd800\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=D:/\xff\n", std::nullopt},
      {"[General]\ncurrentCustomDraftPath=/" + std::string(5000, 'a') + "\n", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(custom_draft_path_in(c.settings), c.path) << c.settings;
}
