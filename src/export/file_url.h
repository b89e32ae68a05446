#pragma once

#include <string>

// The file URLs by which the xmeml timeline documents reference their clips. The rule is made for
// Windows drive paths ("file:///C:/Users/...") and applied unchanged to POSIX paths, whose empty
// first component gives one more slash: /a b.mp4 becomes file:////a%20b.mp4. The URLs are fully
// percent-encoded, so they need no XML escaping. Neither form fails on a missing file.

// `text` with every byte percent-encoded except the unreserved characters of RFC 3986
// ("A-Z a-z 0-9 - . _ ~") and, when `keep_slashes`, "/".
std::string percent_encoded(const std::string& text, bool keep_slashes = false);

// Turns an already resolved path text into a URL with `prefix`: backslashes become slashes, and
// every component is percent-encoded (RFC 3986 unreserved characters pass) except a first one
// holding a colon, the drive.
std::string file_url_of_resolved_path(const std::string& path_text, const std::string& prefix);

// The DaVinci form, "file:///" + components, of the path's absolute form.
std::string editor_file_url_davinci(const std::string& path_text);

// The Premiere form, "file://localhost/" + components, of the path's absolute form.
std::string editor_file_url_premiere(const std::string& path_text);
