#include "autocut/cut_progress.h"

#include <vector>

namespace {

struct KeywordRow {
  std::vector<std::string> keywords;
  int phase;
  std::string status;
};

// First match wins, so the order matters: "extrahiere letzten take" must win over "letzten take".
const std::vector<KeywordRow> KEYWORD_ROWS = {
    {{"ffmpeg stille-erkennung startet"}, 18, "Analysiere Audio/Stille – Video "},
    {{"ffmpeg stille-erkennung fertig"}, 25, "Stille erkannt – Video "},
    {{"temporäre datei", "extrahiere letzten take"}, 32, "Bereite letzten Take vor – Video "},
    {{"ffmpeg export startet"}, 78, "Exportiere – Video "},
    {{"letzten take", "suche"}, 12, "Suche letzten Take – Video "},
    {{"trimm", "schneide", "stille"}, 55, "Schneide – Video "},
};

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

std::optional<CutProgress> cut_progress_for(const std::string& m, size_t i, size_t total) {
  const std::string lower = lower_case(m);
  for (const KeywordRow& row : KEYWORD_ROWS) {
    for (const std::string& keyword : row.keywords) {
      if (lower.find(keyword) == std::string::npos)
        continue;
      const int within = static_cast<int>(1.0 / static_cast<double>(total) * row.phase);
      return CutProgress{batch_percent(i, total) + within,
                         row.status + std::to_string(i + 1) + "/" + std::to_string(total)};
    }
  }
  return std::nullopt;
}
