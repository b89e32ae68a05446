#include "settings/utf8.h"

namespace {

const char REPLACEMENT[] = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at `pos`, or 0 when the bytes there are invalid.
size_t valid_sequence_length(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80)
    return 1;
  size_t length;
  unsigned char min_second = 0x80, max_second = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      min_second = 0xA0;  // overlong
    if (lead == 0xED)
      max_second = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      min_second = 0x90;  // overlong
    if (lead == 0xF4)
      max_second = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (pos + length > text.size())
    return 0;
  if (byte(pos + 1) < min_second || byte(pos + 1) > max_second)
    return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
      return 0;
  }
  return length;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = valid_sequence_length(text, pos);
    if (length == 0)
      return false;
    pos += length;
  }
  return true;
}

std::string sanitize_utf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = valid_sequence_length(text, pos);
    if (length == 0) {
      result += REPLACEMENT;
      ++pos;
    } else {
      result.append(text, pos, length);
      pos += length;
    }
  }
  return result;
}

std::string utf8_tail(std::string_view text, size_t count) {
  size_t pos = text.size();
  size_t taken = 0;
  while (pos > 0 && taken < count) {
    --pos;
    // Continuation bytes belong to the character that starts before them.
    if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80)
      ++taken;
  }
  return std::string(text.substr(pos));
}
