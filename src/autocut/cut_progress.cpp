#include "autocut/cut_progress.h"

#include <vector>

namespace {

constexpr int FILE_END = 100;  // the phase that stands for the file's end share

struct KeywordRow {
  std::vector<std::string> keywords;
  int phase;
  int next_phase;  // the phase after it in the order of the phases, where its share ends
  std::string status;
};

// First match wins, so the order matters: "extrahiere letzten take" must win over "letzten take".
// Above each row, the messages of autocut/cut_messages.h that it reads (cut_progress_test.cpp
// holds each to its row).
const std::vector<KeywordRow> KEYWORD_ROWS = {
    // SILENCE_ANALYSIS_STARTS
    {{"ffmpeg stille-erkennung startet"}, 18, 25, "Analysiere Audio/Stille – Video "},
    // SILENCE_ANALYSIS_DONE
    {{"ffmpeg stille-erkennung fertig"}, 25, 32, "Stille erkannt – Video "},
    // EXTRACTING_LAST_TAKE
    {{"temporäre datei", "extrahiere letzten take"}, 32, 55, "Bereite letzten Take vor – Video "},
    // ENCODE_STARTS
    {{"ffmpeg export startet"}, 78, FILE_END, "Exportiere – Video "},
    // SEARCHING_LAST_TAKE, TRIMMING_FALLBACK
    {{"letzten take", "suche"}, 12, 18, "Suche letzten Take – Video "},
    // TRIMMING_BY_SILENCE, NO_SOUND_NO_TRIMMING, SPEECH_TRIMMING_IMPOSSIBLE, END_SILENCE_REMOVED
    {{"trimm", "schneide", "stille"}, 55, 78, "Schneide – Video "},
};

constexpr int FIRST_PHASE = 12;

// Where `phase` of file i (from 0) of `total` stands on the bar: the file's start plus its
// share of the phase, each truncated apart.
int phase_percent(int phase, size_t i, size_t total) {
  if (phase == FILE_END)
    return batch_percent(i + 1, total);
  return batch_percent(i, total) + static_cast<int>(1.0 / static_cast<double>(total) * phase);
}

// Lower case for ASCII and the Latin-1 letters of UTF-8 (Ä, Ö, Ü and their kin), enough for the
// German messages and file names the keywords are tested against.
std::string lower_case(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char& c = reinterpret_cast<unsigned char&>(text[i]);
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<unsigned char>(c + ('a' - 'A'));
    } else if (c == 0xC3 && i + 1 < text.size()) {
      unsigned char& next = reinterpret_cast<unsigned char&>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97)
        next = static_cast<unsigned char>(next + 0x20);
      ++i;
    }
  }
  return text;
}

}  // namespace

int batch_percent(size_t done, size_t total) {
  return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

int file_start_share_end(size_t i, size_t total) {
  return phase_percent(FIRST_PHASE, i, total);
}

std::optional<CutProgress> cut_progress_for(const std::string& m, size_t i, size_t total) {
  const std::string lower = lower_case(m);
  for (const KeywordRow& row : KEYWORD_ROWS) {
    for (const std::string& keyword : row.keywords) {
      if (lower.find(keyword) == std::string::npos)
        continue;
      return CutProgress{phase_percent(row.phase, i, total),
                         row.status + std::to_string(i + 1) + "/" + std::to_string(total),
                         phase_percent(row.next_phase, i, total)};
    }
  }
  return std::nullopt;
}
