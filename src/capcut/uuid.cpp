#include "capcut/uuid.h"

#include <array>
#include <cstdint>
#include <random>

std::string new_uuid() {
  // One generator per thread, seeded once: the export job and tests may run on different threads.
  thread_local std::mt19937_64 generator{[] {
    std::random_device seed;
    return (static_cast<std::uint64_t>(seed()) << 32) ^ seed();
  }()};
  std::array<unsigned char, 16> bytes{};
  for (size_t half = 0; half < 2; ++half) {
    const std::uint64_t bits = generator();
    for (size_t i = 0; i < 8; ++i)
      bytes[half * 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant

  static const char HEX[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      text += '-';
    text += HEX[bytes[i] >> 4];
    text += HEX[bytes[i] & 0x0F];
  }
  return text;
}
