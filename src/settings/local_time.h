#pragma once

#include <string>

// The current local date and time in a strftime format, e.g. "%Y%m%d_%H%M%S".
std::string local_time_text(const char* format);
