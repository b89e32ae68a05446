#include "export/standard_file_url.h"

#include <algorithm>
#include <filesystem>

#include "export/file_url.h"
#include "settings/path_text.h"

namespace {

// Each byte percent-encoded unless it is unreserved or a "/" between components.
std::string encoded_path(const std::string& path) {
  return percent_encoded(path, true);
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool is_drive(const std::string& path) {
  const auto letter = static_cast<unsigned char>(path.empty() ? 0 : path[0]);
  return path.size() >= 2 &&
         ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && path[1] == ':' &&
         (path.size() == 2 || path[2] == '/');
}

std::string windows_file_url(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  // The long-path forms "\\?\C:\..." and "\\?\UNC\server\..." name the same files as the short
  // ones.
  if (starts_with(path, "//?/UNC/"))
    path = "//" + path.substr(8);
  else if (starts_with(path, "//?/"))
    path = path.substr(4);
  if (starts_with(path, "//"))
    return "file:" + encoded_path(path);
  if (is_drive(path))
    return "file:///" + path.substr(0, 2) + encoded_path(path.substr(2));
  return "file://" + encoded_path(starts_with(path, "/") ? path : "/" + path);
}

}  // namespace

std::string standard_file_url_of(const std::string& absolute_path, PathStyle style) {
  if (style == PathStyle::windows)
    return windows_file_url(absolute_path);
  return "file://" +
         encoded_path(starts_with(absolute_path, "/") ? absolute_path : "/" + absolute_path);
}

std::string standard_file_url(const std::string& path_text) {
  const PathStyle style =
      std::filesystem::path::preferred_separator == '\\' ? PathStyle::windows : PathStyle::posix;
  return standard_file_url_of(absolute_form_text(path_text), style);
}
