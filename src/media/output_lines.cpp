#include "media/output_lines.h"

void OutputLines::add(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view part = bytes.substr(0, end);
    if (!overlong_ && line_.size() + part.size() <= MAX_HANDED_LINE)
      line_.append(part);
    else
      overlong_ = true;
    if (end == std::string_view::npos)
      return;
    hand_over();
    bytes.remove_prefix(end + 1);
  }
}

void OutputLines::finish() {
  if (!line_.empty() || overlong_)
    hand_over();
}

void OutputLines::hand_over() {
  if (!line_.empty() && line_.back() == '\r')
    line_.pop_back();
  if (!overlong_)
    to_(line_);
  line_.clear();
  overlong_ = false;
}
