#include "export/probe_ahead.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "export/export_test_support.h"

TEST(ProbeAhead, TheNextProbesRunMeanwhileAndFailuresComeInTurn) {
  SKIP_ON_WINDOWS("scripted stand-ins need a POSIX shell");
  StandInTools tools;
  ScopedTempDir marks;
  // The probe of a.mp4 succeeds only once the probe of b.mp4 has started beside it.
  tools.script("ffprobe", "for last; do :; done\nname=${last##*/}\nmarks='" + marks.text() +
                              "'\ntouch \"$marks/$name\"\n"
                              "case $name in\n"
                              "  a.mp4) i=0\n"
                              "    while [ ! -e \"$marks/b.mp4\" ] && [ $i -lt 500 ]; do\n"
                              "      sleep 0.01; i=$((i+1))\n"
                              "    done\n"
                              "    [ -e \"$marks/b.mp4\" ] || exit 1;;\n"
                              "  c.mp4) echo kaputt >&2; exit 1;;\n"
                              "esac\n"
                              "echo '{\"format\": {\"duration\": \"2.5\", \"tags\": "
                              "{\"TAVELMOR_C_IN\": \"0.5\", \"TAVELMOR_C_OUT\": \"2.0\"}}}'");
  const auto facts_of =
      probe_ahead({"/clips/a.mp4", "/clips/b.mp4", "/clips/c.mp4", "/clips/d.mp4"}, 2);
  const ClipFacts a = facts_of(0);
  EXPECT_EQ(a.duration, 2.5);
  ASSERT_TRUE(a.handles.has_value());
  EXPECT_EQ(a.handles->c_out, 2.0);
  EXPECT_EQ(facts_of(1).duration, 2.5);
  try {
    facts_of(2);
    FAIL() << "no failure";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "ffprobe konnte die Videolänge nicht lesen: c.mp4\nkaputt\n");
  }
  EXPECT_EQ(facts_of(3).duration, 2.5);
}
