#pragma once

#include <string>
#include <vector>

#include "settings/callbacks.h"
#include "settings/json_text.h"

// Creates a new CapCut project from the template beside the program file, holding `files` in
// order on its first video track, and registers it in CapCut's project list. Reports through
// `log`, then exactly one of `done` (the project folder) and `err` (the error text).
void run_master_capcut_project(const std::vector<std::string>& files, const Json& cfg,
                               const MessageFn& log, const MessageFn& done, const MessageFn& err);
