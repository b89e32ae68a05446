#include "settings/json_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

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

// One open array or object of the writer: the value and its next element.
struct OpenContainer {
  const Json* value;
  Json::const_iterator next;
};

// `indent` < 0 writes the one-line form. The open containers are kept on a stack of their own
// rather than the call stack, so no value, however deep, can exhaust it.
void append_value(std::string& out, const Json& root, int indent) {
  const char* separator = indent < 0 ? ", " : ",";
  const auto new_line = [&](size_t depth) {
    if (indent >= 0) {
      out += '\n';
      out.append(depth * static_cast<size_t>(indent), ' ');
    }
  };
  std::vector<OpenContainer> open;
  const Json* value = &root;
  while (value != nullptr) {
    if (!value->is_structured()) {
      append_scalar(out, *value);
    } else if (value->empty()) {
      out += value->is_object() ? "{}" : "[]";
    } else {
      out += value->is_object() ? '{' : '[';
      open.push_back({value, value->cbegin()});
    }
    value = nullptr;
    while (value == nullptr && !open.empty()) {
      OpenContainer& top = open.back();
      if (top.next == top.value->cend()) {
        new_line(open.size() - 1);
        out += top.value->is_object() ? '}' : ']';
        open.pop_back();
        continue;
      }
      if (top.next != top.value->cbegin())
        out += separator;
      new_line(open.size());
      if (top.value->is_object()) {
        append_string(out, top.next.key());
        out += ": ";
      }
      value = &*top.next;
      ++top.next;
    }
  }
}

// The deepest nesting of arrays and objects in a JSON text, counted without parsing it: brackets
// inside strings do not count. Exact for valid JSON, which is all that matters, since anything
// else fails to parse anyway.
size_t nesting_depth(const std::string& text) {
  size_t depth = 0;
  size_t deepest = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// Whole numbers beyond the range of an index saturate: they lie outside every list all the same.
constexpr double LIMIT_OF_INDEX = 9.2e18;  // below 2^63: smaller numbers convert exactly

long long saturated(double number) {
  if (number >= LIMIT_OF_INDEX)
    return std::numeric_limits<long long>::max();
  if (number <= -LIMIT_OF_INDEX)
    return std::numeric_limits<long long>::min();
  return static_cast<long long>(std::trunc(number));
}

}  // namespace

std::string json_line_text(const Json& value) {
  std::string out;
  append_value(out, value, -1);
  return out;
}

std::string json_file_text(const Json& value) {
  std::string out;
  append_value(out, value, 2);
  return out;
}

Json parse_json(const std::string& text) {
  // A byte-order mark is no JSON: such a file counts as unreadable.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    throw std::runtime_error("JSON-Text beginnt mit einer Byte-Order-Mark");
  }
  // The parser would take a NUL byte for the end of the text and ignore the rest.
  if (text.find('\0') != std::string::npos)
    throw std::runtime_error("JSON-Text enthält ein NUL-Zeichen");
  if (nesting_depth(text) > MAX_JSON_DEPTH) {
    throw std::runtime_error("JSON-Text ist tiefer als " + std::to_string(MAX_JSON_DEPTH) +
                             " Ebenen verschachtelt");
  }
  return Json::parse(text);
}

std::string json_plain_text(const Json& value) {
  if (value.is_string())
    return value.get<std::string>();
  return json_line_text(value);
}

bool json_is_empty(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return true;
    case Json::value_t::boolean:
      return !value.get<bool>();
    case Json::value_t::number_integer:
      return value.get<long long>() == 0;
    case Json::value_t::number_unsigned:
      return value.get<unsigned long long>() == 0;
    case Json::value_t::number_float:
      return value.get<double>() == 0.0;
    case Json::value_t::string:
      return value.get_ref<const std::string&>().empty();
    case Json::value_t::array:
    case Json::value_t::object:
      return value.empty();
    default:
      return false;
  }
}

long long json_to_integer(const Json& value) {
  if (value.is_boolean())
    return value.get<bool>() ? 1 : 0;
  if (value.is_number_unsigned()) {
    const unsigned long long number = value.get<unsigned long long>();
    constexpr auto MAX = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    return number > MAX ? std::numeric_limits<long long>::max() : static_cast<long long>(number);
  }
  if (value.is_number_integer())
    return value.get<long long>();
  if (value.is_number_float() && !std::isnan(value.get<double>()))
    return saturated(value.get<double>());
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    const size_t first = text.find_first_not_of(" \t\n\r\f\v");
    const size_t last = text.find_last_not_of(" \t\n\r\f\v");
    if (first != std::string::npos) {
      const std::string core = text.substr(first, last - first + 1);
      const bool negative = core[0] == '-';
      std::string digits = core.substr((negative || core[0] == '+') ? 1 : 0);
      if (!digits.empty() && std::all_of(digits.begin(), digits.end(),
                                         [](unsigned char c) { return c >= '0' && c <= '9'; })) {
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits.size() > 18)
          return saturated(negative ? -LIMIT_OF_INDEX : LIMIT_OF_INDEX);
        const long long number = std::stoll(digits);
        return negative ? -number : number;
      }
    }
  }
  throw std::runtime_error("Keine ganze Zahl: " + json_plain_text(value));
}
