#include "capcut/draft_folder.h"

#include "settings/atomic_file.h"
#include "settings/path_text.h"
#include "settings/utf8.h"

namespace {

constexpr std::uintmax_t MAX_SETTINGS_BYTES = 256 * 1024;
constexpr size_t MAX_PATH_BYTES = 4096;
const std::string KEY = "currentCustomDraftPath";

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void append_utf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool is_surrogate(unsigned code, unsigned first) {
  return code >= first && code < first + 0x400;
}

// The UTF-16 unit of the `\x` escape whose `x` stands at `i`: up to four hex digits, `i` left
// at the last one. 0 when no digit follows, which no path holds either.
unsigned hex_escape(const std::string& raw, size_t& i) {
  unsigned code = 0;
  for (size_t digits = 0; digits < 4 && i + 1 < raw.size() && hex_digit(raw[i + 1]) >= 0; ++digits)
    code = code * 16 + static_cast<unsigned>(hex_digit(raw[++i]));
  return code;
}

// Qt's INI value as one text. Outside quotes a comma makes a list and a semicolon a comment
// (Qt quotes texts that hold them), so either means the value is no plain path.
std::optional<std::string> unescaped(const std::string& raw) {
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\\') {
      if (++i == raw.size())
        return std::nullopt;
      if (raw[i] == '\\' || raw[i] == '"') {
        out += raw[i];
      } else if (raw[i] == 'x') {
        unsigned code = hex_escape(raw, i);
        // A character beyond U+FFFF comes as two escapes, a UTF-16 surrogate pair.
        if (is_surrogate(code, 0xD800) && raw.compare(i + 1, 2, "\\x") == 0) {
          i += 2;
          const unsigned low = hex_escape(raw, i);
          code = is_surrogate(low, 0xDC00) ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00) : 0;
        }
        if (code == 0 || is_surrogate(code, 0xD800) || is_surrogate(code, 0xDC00))
          return std::nullopt;
        append_utf8(out, code);
      } else {
        return std::nullopt;
      }
    } else if (!quoted && (c == ',' || c == ';')) {
      return std::nullopt;
    } else if (c == '\0') {
      return std::nullopt;
    } else {
      out += c;
    }
  }
  if (quoted || out.empty() || out.size() > MAX_PATH_BYTES || out.front() == '@' ||
      !is_valid_utf8(out))
    return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::string> custom_draft_path_in(const std::string& settings_text) {
  std::string section;
  size_t start = 0;
  while (start < settings_text.size()) {
    size_t end = settings_text.find('\n', start);
    if (end == std::string::npos)
      end = settings_text.size();
    std::string line = settings_text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    line = trimmed(line);
    if (line.starts_with("[") && line.ends_with("]")) {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const size_t equals = line.find('=');
    if (section == "General" && equals != std::string::npos &&
        trimmed(line.substr(0, equals)) == KEY)
      return unescaped(trimmed(line.substr(equals + 1)));
  }
  return std::nullopt;
}

std::filesystem::path capcut_drafts_dir(const std::filesystem::path& default_dir) {
  const std::filesystem::path settings =
      default_dir.parent_path().parent_path() / "Config" / "globalSetting";
  try {
    std::error_code error;
    if (!std::filesystem::is_regular_file(settings, error) ||
        std::filesystem::file_size(settings, error) > MAX_SETTINGS_BYTES || error)
      return default_dir;
    const std::optional<std::string> custom = custom_draft_path_in(read_file_bytes(settings));
    if (!custom)
      return default_dir;
    const std::filesystem::path folder = path_from_utf8(*custom);
    if (folder.is_absolute() && std::filesystem::is_directory(folder, error))
      return folder;
  } catch (const std::exception&) {
  }
  return default_dir;
}
