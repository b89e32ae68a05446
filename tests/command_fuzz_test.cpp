#include <gtest/gtest.h>

#include <signal.h>

#include <random>
#include <thread>

#include "backend_process.h"
#include "settings/utf8.h"
#include "support/test_util.h"

// Mutated command lines, 20,000 of them from a fixed seed: the backend must answer each line that
// is no JSON object with exactly one `error`, never more than one for any line, write only whole
// UTF-8 JSON event lines, and live to the end.

namespace {

const std::vector<std::string> CORPUS = {
    R"({"cmd": "get_state"})",
    R"({"cmd": "set_config", "payload": {"suffix": "_x", "trim_padding": 2.5, "add_padding": 0}})",
    R"({"cmd": "set_config", "payload": {"resolution": "Querformat 1920x1080", "foo": [1, {}]}})",
    R"({"cmd": "add_cut_files", "payload": {"paths": ["/nirgends/a.mp4", "b.wav", 3]}})",
    R"({"cmd": "add_master_files", "payload": {"paths": ["/nirgends/Übung ✓.mov"]}})",
    R"({"cmd": "clear_cut_queue"})",
    R"({"cmd": "clear_master_queue", "payload": null})",
    R"({"cmd": "remove_master_index", "payload": {"idx": "0"}})",
    R"({"cmd": "move_master", "payload": {"idx": 1, "direction": -1}})",
    R"({"cmd": "copy_support_log", "payload": {}})",
};

// Pieces that parsers trip over: bytes that are no UTF-8, NUL, escapes of surrogates and NUL,
// numbers beyond every range, brackets.
const std::vector<std::string> PIECES = {std::string(1, '\0'),
                                         "\xff",
                                         "\xc3",
                                         "\xed\xa0\x80",
                                         "\xf4\x90\x80\x80",
                                         "\\u0000",
                                         "\\ud800",
                                         "\\",
                                         "\"",
                                         "{",
                                         "}",
                                         "[",
                                         "]",
                                         ",",
                                         ":",
                                         "18446744073709551615",
                                         "-1e400",
                                         "null",
                                         "\r",
                                         "\t",
                                         std::string(600, '['),
                                         std::string(3, ']')};

class Mutator {
 public:
  explicit Mutator(unsigned seed) : random_(seed) {}

  std::string line() {
    std::string text = CORPUS[below(CORPUS.size())];
    const size_t mutations = 1 + below(3);
    for (size_t i = 0; i < mutations; ++i)
      mutate(text);
    for (char& c : text) {
      if (c == '\n')
        c = ' ';
    }
    return text;
  }

 private:
  size_t below(size_t n) { return static_cast<size_t>(random_() % n); }

  void mutate(std::string& text) {
    const size_t at = below(text.size() + 1);
    switch (below(6)) {
      case 0:
        if (at < text.size())
          text[at] = static_cast<char>(below(256));
        break;
      case 1:
        text.insert(at, 1, static_cast<char>(below(256)));
        break;
      case 2:
        text.erase(at, below(8));
        break;
      case 3:
        text.resize(at);
        break;
      case 4:
        text.insert(at, PIECES[below(PIECES.size())]);
        break;
      default:
        // Deep, but a valid payload value wherever it replaces one.
        if (below(200) == 0)
          text = R"({"cmd": "get_state", "payload": )" + std::string(41000, '[') +
                 std::string(41000, ']') + "}";
        else
          text.insert(at, PIECES[below(PIECES.size())]);
    }
  }

  std::mt19937 random_;
};

// A line the backend cannot take for a command: no JSON, a NUL byte, or no object.
bool is_bad_line(const std::string& line) {
  if (line.find('\0') != std::string::npos || !Json::accept(line))
    return true;
  return !Json::parse(line).is_object();
}

// One UTF-8 JSON object whose first member is `event`.
bool is_whole_event_line(const std::string& line) {
  if (!is_valid_utf8(line) || !Json::accept(line))
    return false;
  const Json event = Json::parse(line);
  return event.is_object() && !event.empty() && event.begin().key() == "event";
}

std::string sentinel(size_t i) {
  return R"({"cmd": "ende-)" + std::to_string(i) + R"("})";
}

std::string sentinel_answer(size_t i) {
  return R"({"event": "error", "message": "Unbekannter Befehl: ende-)" + std::to_string(i) +
         R"("})";
}

}  // namespace

TEST(CommandFuzz, EveryBadLineGetsOneErrorAndEveryEventLineIsWhole) {
  ScopedTempDir home("tavelmor_fuzz_");
  fs::create_directories(home / "Desktop");
  constexpr size_t LINES = 20000;
  Mutator mutator(20240607);
  std::vector<std::string> lines;
  for (size_t i = 0; i < LINES; ++i)
    lines.push_back(mutator.line());

  BackendProcess backend(home.text());
  ASSERT_EQ(event_name(backend.read_line().value_or("{}")), "ready");
  std::thread writer([&] {
    try {
      for (size_t i = 0; i < LINES; ++i) {
        backend.send_line(lines[i]);
        backend.send_line(sentinel(i));
      }
    } catch (const std::exception&) {
      // The backend is gone; the reader reports that.
    }
  });

  size_t bad_lines = 0;
  size_t failures = 0;
  for (size_t i = 0; i < LINES && failures < 10; ++i) {
    size_t errors = 0;
    bool answered = false;
    while (!answered) {
      const std::optional<std::string> event = backend.read_line();
      if (!event) {
        ADD_FAILURE() << "no answer to line " << i << ": " << lines[i];
        failures = 10;
        break;
      }
      if (*event == sentinel_answer(i)) {
        answered = true;
        continue;
      }
      if (!is_whole_event_line(*event)) {
        ADD_FAILURE() << "broken event line after line " << i << ": " << *event;
        ++failures;
      }
      errors += event_name(*event) == "error" ? 1 : 0;
    }
    if (!answered)
      break;
    const bool bad = is_bad_line(lines[i]);
    bad_lines += bad ? 1 : 0;
    if (errors > 1 || (bad && errors != 1)) {
      ADD_FAILURE() << errors << " errors for line " << i << ": " << lines[i];
      ++failures;
    }
  }
  if (failures > 0)
    ::kill(backend.pid(), SIGKILL);
  writer.join();
  EXPECT_GT(bad_lines, LINES / 2) << "the mutations hardly break anything";
  EXPECT_EQ(backend.close_and_wait(), 0);
}
