#pragma once

#include <functional>
#include <istream>
#include <map>
#include <ostream>
#include <string>

#include "backend/backend.h"

using CommandTable = std::map<std::string, std::function<void(const Json&)>>;

// The fixed map from command name to the Backend operation that handles it.
CommandTable make_command_table(Backend& backend);

// Handles one command line: dispatches it, or answers it with an `error` event (writing the
// error log first when the line or the command failed).
void handle_command_line(const std::string& line, const CommandTable& table, Backend& backend);

// Reads command lines from `in` one after another until it ends.
void run_command_loop(std::istream& in, const CommandTable& table, Backend& backend);
