#include "settings/utf8.h"

#include <gtest/gtest.h>

TEST(Utf8, AcceptsValidTextAndRejectsBrokenSequences) {
  EXPECT_TRUE(is_valid_utf8("plain ascii"));
  EXPECT_TRUE(is_valid_utf8("Grüße – ✓ \xF0\x9F\x8E\xAC"));
  const char* broken[] = {
      "\xff", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"};
  for (const char* text : broken)
    EXPECT_FALSE(is_valid_utf8(text)) << text;
}

TEST(Utf8, SanitizeReplacesEachInvalidByte) {
  EXPECT_EQ(sanitize_utf8("ok ä"), "ok ä");
  EXPECT_EQ(sanitize_utf8("a\xffz"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(sanitize_utf8("\xC3"), "\xEF\xBF\xBD");  // truncated at the end
}

TEST(Utf8, TailCountsCharactersNotBytes) {
  EXPECT_EQ(utf8_tail("abc", 10), "abc");
  EXPECT_EQ(utf8_tail("abcdef", 3), "def");
  EXPECT_EQ(utf8_tail("xäöü", 2), "öü");
  EXPECT_EQ(utf8_tail("ä✓", 1), "✓");
  EXPECT_EQ(utf8_tail("abc", 0), "");
}
