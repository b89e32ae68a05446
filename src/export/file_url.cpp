#include "export/file_url.h"

#include <algorithm>

#include "settings/path_text.h"

namespace {

bool is_unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string percent_encoded(const std::string& text, bool keep_slashes) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (is_unreserved(c) || (keep_slashes && c == '/')) {
      encoded += byte;
    } else {
      encoded += '%';
      encoded += HEX[c >> 4];
      encoded += HEX[c & 0x0F];
    }
  }
  return encoded;
}

std::string file_url_of_resolved_path(const std::string& path_text, const std::string& prefix) {
  std::string text = path_text;
  std::replace(text.begin(), text.end(), '\\', '/');
  std::string url = prefix;
  size_t begin = 0;
  for (size_t index = 0;; ++index) {
    const size_t slash = text.find('/', begin);
    const std::string part = text.substr(begin, slash == std::string::npos ? slash : slash - begin);
    if (index > 0)
      url += '/';
    url += (index == 0 && part.find(':') != std::string::npos) ? part : percent_encoded(part);
    if (slash == std::string::npos)
      break;
    begin = slash + 1;
  }
  return url;
}

std::string editor_file_url_davinci(const std::string& path_text) {
  return file_url_of_resolved_path(absolute_form_text(path_text), "file:///");
}

std::string editor_file_url_premiere(const std::string& path_text) {
  return file_url_of_resolved_path(absolute_form_text(path_text), "file://localhost/");
}
