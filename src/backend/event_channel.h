#pragma once

#include <ostream>
#include <stdexcept>
#include <string>

#include "settings/json_text.h"

// The failure of a write to the event stream.
class EventWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes one event line: {"event": name, ...members}. `members` is an object whose members
// follow `event` in their order. Safe to call from the command thread and a job thread at once:
// each line reaches `out` whole and is flushed at once. Throws EventWriteError when the write
// fails.
void send(std::ostream& out, const std::string& event, const Json& members = Json::object());

// The event line without its line feed.
std::string event_line_text(const std::string& event, const Json& members);
