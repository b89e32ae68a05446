#pragma once

#include <ostream>
#include <string>

#include "settings/json_text.h"

// Writes one event line: {"event": name, ...members}. `members` is an object whose members
// follow `event` in their order. Safe to call from the command thread and a job thread at once:
// each line reaches `out` whole and is flushed at once. Throws when the write fails.
void send(std::ostream& out, const std::string& event, const Json& members = Json::object());

// The event line without its line feed.
std::string event_line_text(const std::string& event, const Json& members);
