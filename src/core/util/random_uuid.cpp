// Version 4 UUIDs from the kernel's random source.
#include "core/util/random_uuid.h"

#include <array>
#include <cstdint>
#include <span>

#include "platform/random.h"

namespace glimmet {

std::string randomUuid() {
  std::array<uint8_t, 16> bytes{};
  platform::randomBytes(std::as_writable_bytes(std::span(bytes)));
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHex[bytes[i] >> 4]);
    text.push_back(kHex[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace glimmet
