#pragma once

#include <string>

// A new random version 4 UUID in its 36-character hyphenated form, upper case
// ("3F2504E0-4F89-41D3-9A0C-0305E82C3301"). Safe to call from any thread.
std::string new_uuid();
