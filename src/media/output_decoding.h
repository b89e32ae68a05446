#pragma once

#include <string>

#include "media/process.h"

// The captured bytes of a child's output stream as the caller asked for them; throws under
// strict decoding when they are not UTF-8.
std::string decode_output(std::string bytes, OutputDecoding decoding, const std::string& program);
