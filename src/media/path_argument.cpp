#include "media/path_argument.h"

#include "settings/path_text.h"

std::string path_argument(const std::string& path_text) {
  const fs::path path = path_from_utf8(path_text);
  if (path.is_absolute() || path.has_root_directory())
    return path_text;
  return path_to_utf8(fs::absolute(path));
}
