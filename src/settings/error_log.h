#pragma once

#include <exception>

#include "settings/fixed_paths.h"

// Replaces the error log with the report of `failure`; the report ends with a line holding the
// failure's type name and message. Never fails; the Desktop folder is not created.
void log_exception(const std::exception& failure, const FixedPaths& paths = fixed_paths());
