#include "settings/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

std::string double_text(double value) {
  if (std::isnan(value))
    return "nan";
  if (std::isinf(value))
    return value < 0 ? "-inf" : "inf";

  // Shortest round-trip digits in scientific form, e.g. "-1.2345e+01".
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string scientific(buffer, result.ptr);

  std::string sign;
  if (scientific[0] == '-') {
    sign = "-";
    scientific.erase(0, 1);
  }
  const size_t e_pos = scientific.find('e');
  const int exponent = std::atoi(scientific.c_str() + e_pos + 1);
  std::string digits = scientific.substr(0, e_pos);
  if (digits.size() > 1)
    digits.erase(1, 1);  // drop the point after the first digit

  const int digit_count = static_cast<int>(digits.size());
  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0)
      return sign + "0." + std::string(-exponent - 1, '0') + digits;
    if (digit_count <= exponent + 1) {
      return sign + digits + std::string(exponent + 1 - digit_count, '0') + ".0";
    }
    return sign + digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
  }
  std::string mantissa = digits.substr(0, 1);
  if (digit_count > 1)
    mantissa += "." + digits.substr(1);
  const int magnitude = std::abs(exponent);
  std::string exponent_digits = std::to_string(magnitude);
  if (exponent_digits.size() < 2)
    exponent_digits.insert(0, "0");
  return sign + mantissa + "e" + (exponent < 0 ? "-" : "+") + exponent_digits;
}

std::string tag_seconds_text(double value) {
  if (!std::isfinite(value))
    return double_text(value);
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
  double rounded = 0.0;
  std::from_chars(buffer, result.ptr, rounded);
  return double_text(rounded);
}

std::string fixed_text(double value, int decimals) {
  if (!std::isfinite(value))
    return double_text(value);
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}
