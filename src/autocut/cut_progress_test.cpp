#include "autocut/cut_progress.h"

#include <gtest/gtest.h>

#include "autocut/cut_messages.h"
#include "media/loudness.h"

namespace {

// The percentage, or -1 for a message that moves nothing.
int pct_of(const std::string& m, size_t i = 0, size_t total = 1) {
  const auto step = cut_progress_for(m, i, total);
  return step ? step->pct : -1;
}

}  // namespace

TEST(CutProgress, TheCutMessagesOfOneFileMapToTheirPhases) {
  const std::pair<std::string, int> messages[] = {
      {"Datei: aufnahme.mp4", -1},
      {"Länge: 12.3s", -1},
      {"Suche letzten Take ...", 12},
      {"FFmpeg Stille-Erkennung startet: aufnahme.mp4", 18},
      {"FFmpeg Stille-Erkennung fertig: 2 Startpunkt(e), 2 Endpunkt(e), 2 Pause(n) sauber erkannt",
       25},
      {"2 Pause(n) gefunden", -1},
      {"Letzter Take ab: 3.00s (9.3s verbleiben)", -1},
      {"Extrahiere letzten Take in temporäre Datei ...", 32},
      {"Trimme via Stille-Erkennung ...", 55},
      {"Sprache: 0.90s – 9.30s (8.4s)", -1},
      {"Ergebnis: 3.90s – 12.30s (8.4s)", -1},
      {"Trimming-Fallback: nehme letzten Take ohne Stille-Trimming", 12},
      {"End-Stille entfernt: schneide bei 11.05s", 55},
      {"FFmpeg Export startet ...", 78},
      {"Gespeichert: /out/aufnahme_cut.mp4", -1},
      {"Inhalt 0.00s-8.40s | Datei 8.43s | Überhang Ende: 0.03s", -1},
  };
  for (const auto& [message, pct] : messages)
    EXPECT_EQ(pct_of(message), pct) << message;
}

TEST(CutProgress, LaterFilesAddTheirShareTruncatedApart) {
  EXPECT_EQ(batch_percent(0, 3), 0);
  EXPECT_EQ(batch_percent(1, 3), 33);
  EXPECT_EQ(batch_percent(2, 3), 66);
  EXPECT_EQ(batch_percent(3, 3), 100);
  EXPECT_EQ(pct_of("FFmpeg Stille-Erkennung startet: b.mp4", 1, 3), 39);  // 33 + 6
  EXPECT_EQ(pct_of("FFmpeg Export startet ...", 2, 3), 66 + 26);
  EXPECT_EQ(pct_of("Suche letzten Take ...", 6, 7), 85 + 1);
  const auto step = cut_progress_for("FFmpeg Export startet ...", 1, 3);
  ASSERT_TRUE(step.has_value());
  EXPECT_EQ(step->status, "Exportiere – Video 2/3");
}

TEST(CutProgress, EachPhaseOwnsTheBarUpToTheNextOneOrTheFilesEnd) {
  const auto share_end = [](const std::string& m, size_t i, size_t total) {
    return cut_progress_for(m, i, total).value().share_end;
  };
  EXPECT_EQ(file_start_share_end(0, 1), 12);
  EXPECT_EQ(share_end("Suche letzten Take ...", 0, 1), 18);
  EXPECT_EQ(share_end("FFmpeg Stille-Erkennung startet: a.mp4", 0, 1), 25);
  EXPECT_EQ(share_end("Extrahiere letzten Take in temporäre Datei ...", 0, 1), 55);
  EXPECT_EQ(share_end("FFmpeg Export startet ...", 0, 1), 100);
  // The last of seven files: its phases truncated within 85..100, its encode up to the end.
  EXPECT_EQ(file_start_share_end(6, 7), 85 + 1);
  EXPECT_EQ(share_end("FFmpeg Stille-Erkennung startet: g.mp4", 6, 7), 85 + 3);
  EXPECT_EQ(share_end("FFmpeg Export startet ...", 6, 7), 100);
}

TEST(CutProgress, KeywordsInFileNamesCountToo) {
  EXPECT_EQ(pct_of("Datei: stille_nacht.mp4"), 55);
  EXPECT_EQ(pct_of("Datei: Suche.mp4"), 12);
  EXPECT_EQ(pct_of("Datei: STILLE.MOV"), 55);
  EXPECT_EQ(pct_of("Datei: TEMPORÄRE DATEI.mkv"), 32);  // upper-case umlauts are lowered too
}

// The messages as the cut writes them: a change of wording that loses its phase fails here.
TEST(CutProgress, EachMessageOfTheCutGivesItsRowsPhase) {
  const std::pair<std::string, int> messages[] = {
      {SEARCHING_LAST_TAKE, 12},
      {TRIMMING_FALLBACK, 12},
      {SILENCE_ANALYSIS_STARTS + std::string("a.mp4"), 18},
      {SILENCE_ANALYSIS_DONE + std::string("0 Startpunkt(e)"), 25},
      {EXTRACTING_LAST_TAKE, 32},
      {TRIMMING_BY_SILENCE, 55},
      {NO_SOUND_NO_TRIMMING, 55},
      {SPEECH_TRIMMING_IMPOSSIBLE, 55},
      {END_SILENCE_REMOVED + std::string("1.00s"), 55},
      {ENCODE_STARTS, 78},
      // Messages that must move nothing.
      {JUMP_CUTS + std::string("12 Pause(n) entfernt, 8.4s gespart"), -1},
      {loudness_message(-23.4, -14.0), -1},
      {loudness_message(std::nullopt, -14.0), -1},
  };
  for (const auto& [message, pct] : messages)
    EXPECT_EQ(pct_of(message), pct) << message;
}
