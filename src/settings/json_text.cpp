#include "settings/json_text.h"

#include <cmath>
#include <stdexcept>

#include "settings/number_text.h"
#include "settings/utf8.h"

namespace {

void append_string(std::string& out, const std::string& raw) {
  static const char HEX[] = "0123456789abcdef";
  const std::string text = is_valid_utf8(raw) ? raw : sanitize_utf8(raw);
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += HEX[(c >> 4) & 0xF];
          out += HEX[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void append_scalar(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::string:
      append_string(out, value.get_ref<const std::string&>());
      break;
    case Json::value_t::number_float: {
      const double number = value.get<double>();
      out += std::isfinite(number) ? double_text(number) : "null";
      break;
    }
    default:
      out += value.dump();  // integers, booleans, null
  }
}

// `indent` < 0 writes the one-line form.
void append_value(std::string& out, const Json& value, int indent, int depth) {
  const bool is_object = value.is_object();
  if (!is_object && !value.is_array()) {
    append_scalar(out, value);
    return;
  }
  if (value.empty()) {
    out += is_object ? "{}" : "[]";
    return;
  }
  const std::string inner = indent < 0 ? "" : "\n" + std::string((depth + 1) * indent, ' ');
  const std::string outer = indent < 0 ? "" : "\n" + std::string(depth * indent, ' ');
  const char* separator = indent < 0 ? ", " : ",";
  out += is_object ? '{' : '[';
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (!first)
      out += separator;
    first = false;
    out += inner;
    if (is_object) {
      append_string(out, it.key());
      out += ": ";
    }
    append_value(out, *it, indent, depth + 1);
  }
  out += outer;
  out += is_object ? '}' : ']';
}

}  // namespace

std::string json_line_text(const Json& value) {
  std::string out;
  append_value(out, value, -1, 0);
  return out;
}

std::string json_file_text(const Json& value) {
  std::string out;
  append_value(out, value, 2, 0);
  return out;
}

Json parse_json(const std::string& text) {
  // A byte-order mark is no JSON: such a file counts as unreadable.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    throw std::runtime_error("JSON-Text beginnt mit einer Byte-Order-Mark");
  }
  return Json::parse(text);
}

std::string json_plain_text(const Json& value) {
  if (value.is_string())
    return value.get<std::string>();
  return json_line_text(value);
}
