#pragma once

#include <string>

// File URLs as RFC 8089 and RFC 3986 write them, for documents whose readers resolve them with a
// real URL parser: "file:///Users/a/My%20Clip.mp4" for a POSIX path, "file:///C:/Users/a/
// My%20Clip.mp4" for a Windows drive path, "file://server/share/a.mp4" for a Windows network
// path. Every byte other than an unreserved character of RFC 3986 ("A-Z a-z 0-9 - . _ ~"), the
// "/" between components and a drive's colon is percent-encoded, so the URL needs no XML escaping
// and "#", "?" and "%" in a name can only be part of the name.

// How an absolute path text is written: on Windows both "\" and "/" separate components, and a
// path may begin with a drive ("C:") or a server ("\\server\share"); on POSIX systems only "/"
// separates, and "\" and ":" are letters of a name.
enum class PathStyle { posix, windows };

// The URL of an absolute path text in `style`.
std::string standard_file_url_of(const std::string& absolute_path, PathStyle style);

// The URL of the absolute form of a path, in the style of the system the backend runs on.
std::string standard_file_url(const std::string& path_text);
