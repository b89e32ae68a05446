#include "export/standard_file_url.h"

#include <algorithm>
#include <filesystem>

#include "export/file_url.h"
#include "settings/path_text.h"

namespace {

// "file://" and the rooted path, each byte percent-encoded unless it is unreserved or a "/"
// between components.
std::string rooted_url(const std::string& path) {
  return "file://" + percent_encoded(path.starts_with("/") ? path : "/" + path, true);
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
  if (path.starts_with("//?/UNC/"))
    path = "//" + path.substr(8);
  else if (path.starts_with("//?/"))
    path = path.substr(4);
  if (path.starts_with("//"))
    return "file:" + percent_encoded(path, true);
  if (is_drive(path))
    return "file:///" + path.substr(0, 2) + percent_encoded(path.substr(2), true);
  return rooted_url(path);
}

}  // namespace

std::string standard_file_url_of(const std::string& absolute_path, PathStyle style) {
  if (style == PathStyle::windows)
    return windows_file_url(absolute_path);
  return rooted_url(absolute_path);
}

std::string standard_file_url(const std::string& path_text) {
  const PathStyle style =
      std::filesystem::path::preferred_separator == '\\' ? PathStyle::windows : PathStyle::posix;
  return standard_file_url_of(absolute_form_text(path_text), style);
}
