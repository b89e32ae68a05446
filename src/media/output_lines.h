#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Cuts a child's output into lines as its bytes arrive, for a caller that reads them while the
// child runs. A line is handed over without its end (LF, or CR LF). A line longer than
// MAX_HANDED_LINE is passed over whole: a cut-off line could say something else than the line did.

using OutputLineFn = std::function<void(std::string_view line)>;

inline constexpr size_t MAX_HANDED_LINE = 64 * 1024;

class OutputLines {
 public:
  explicit OutputLines(const OutputLineFn& to) : to_(to) {}

  // The next bytes of the stream; hands over every line they complete.
  void add(std::string_view bytes);
  // The end of the stream: hands over a last line that has no line end.
  void finish();

 private:
  void hand_over();

  const OutputLineFn& to_;
  std::string line_;
  bool overlong_ = false;
};
