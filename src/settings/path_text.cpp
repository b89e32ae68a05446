#include "settings/path_text.h"

#include <algorithm>
#include <stdexcept>

fs::path path_from_utf8(const std::string& text) {
  // The system would see only the part before a NUL, which would name another file.
  const size_t nul = text.find('\0');
  if (nul != std::string::npos)
    throw std::runtime_error("Pfad enthält ein NUL-Zeichen: " + text.substr(0, nul));
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string path_to_utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string file_name_of(const std::string& path_text) {
#ifdef _WIN32
  const size_t slash = path_text.find_last_of("/\\");
#else
  const size_t slash = path_text.find_last_of('/');
#endif
  return slash == std::string::npos ? path_text : path_text.substr(slash + 1);
}

std::string extension_of(const std::string& path_text) {
  const std::string name = file_name_of(path_text);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0)
    return "";
  return name.substr(dot);
}

std::string stem_of(const std::string& path_text) {
  const std::string name = file_name_of(path_text);
  return name.substr(0, name.size() - extension_of(name).size());
}

std::string to_lower_ascii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

fs::path absolute_form(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  if (error)
    return fs::absolute(path).lexically_normal();
  return resolved;
}

std::string absolute_form_text(const std::string& path_text) {
  return path_to_utf8(absolute_form(path_from_utf8(path_text)));
}
