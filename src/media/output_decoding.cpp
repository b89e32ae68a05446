#include "media/output_decoding.h"

#include <stdexcept>

#include "settings/utf8.h"

std::string decode_output(std::string bytes, OutputDecoding decoding, const std::string& program) {
  switch (decoding) {
    case OutputDecoding::raw:
      return bytes;
    case OutputDecoding::replace_invalid:
      return sanitize_utf8(bytes);
    case OutputDecoding::strict_utf8:
      if (!is_valid_utf8(bytes)) {
        throw std::runtime_error("Ausgabe von " + program + " ist kein gültiges UTF-8");
      }
      return bytes;
  }
  return bytes;
}
