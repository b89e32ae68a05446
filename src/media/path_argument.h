#pragma once

#include <string>

// A path as an argument of ffmpeg or ffprobe, in a form that can only name the file. The tools
// read an argument that begins with "-" as an option, and one whose first component holds a ":"
// as a protocol ("a:b.mp4" would be the protocol "a"). A path that begins at a root or a
// separator is neither and stays as it is; any other is made absolute against the working folder
// (links are not resolved, so it names the same file). Throws for a path holding a NUL.
std::string path_argument(const std::string& path_text);
