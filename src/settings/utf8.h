#pragma once

#include <string>
#include <string_view>

// UTF-8 checks for text that crosses the process boundary: file names from old disks and the
// output of child processes are not always valid UTF-8, and the protocol must still carry them.

bool is_valid_utf8(std::string_view text);

// Returns `text` with every invalid byte sequence replaced by U+FFFD.
std::string sanitize_utf8(std::string_view text);

// The last `count` characters (code points) of UTF-8 text; all of it when shorter. Messages
// quote the tail of a child process's error output this way.
std::string utf8_tail(std::string_view text, size_t count);
