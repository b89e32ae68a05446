#pragma once

#include <filesystem>
#include <string>

// Paths travel through the system as UTF-8 text; these helpers turn them into file-system paths
// and take them apart by the rules the backend uses for names and extensions.

namespace fs = std::filesystem;

// Throws for a text holding a NUL character, which no file name can hold.
fs::path path_from_utf8(const std::string& text);
std::string path_to_utf8(const fs::path& path);

// The last component of a path text (either separator counts on Windows, "/" everywhere).
std::string file_name_of(const std::string& path_text);

// From the last dot of the last component on, dot included; empty when the component has no
// dot or its only dot is its first character ("clip.MP4" gives ".MP4", ".wav" gives "").
std::string extension_of(const std::string& path_text);

// The last component without its extension.
std::string stem_of(const std::string& path_text);

std::string to_lower_ascii(std::string text);

// Absolute against the working folder, symbolic links and "."/".." resolved as far as the
// path exists; the file need not exist.
fs::path absolute_form(const fs::path& path);
std::string absolute_form_text(const std::string& path_text);
