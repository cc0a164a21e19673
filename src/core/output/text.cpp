// Plain-text helpers.
#include "core/output/text.h"

namespace glimmet {
namespace {

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string padCut(std::string_view value, size_t width) {
  size_t characters = 0;
  size_t end = 0;
  while (end < value.size()) {
    if (characters == width) break;
    ++end;
    while (end < value.size() && isContinuationByte(value[end])) ++end;
    ++characters;
  }
  std::string out(value.substr(0, end));
  out.append(width - characters, ' ');
  return out;
}

std::string printable(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    if (byte < 0x20 || byte == 0x7F) {
      out.push_back('?');
    } else if (byte == 0xC2 && i + 1 < value.size() &&
               static_cast<unsigned char>(value[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(value[i + 1]) <= 0x9F) {
      out.push_back('?');  // U+0080..U+009F, the C1 controls (CSI among them)
      ++i;
    } else {
      out.push_back(value[i]);
    }
  }
  return out;
}

std::string portList(std::span<const uint16_t> ports) {
  std::string out;
  for (const auto port : ports) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(':');
    out.append(std::to_string(port));
  }
  return out;
}

std::string countedNoun(uint64_t count, std::string_view noun) {
  std::string out = std::to_string(count);
  out.push_back(' ');
  out.append(noun);
  if (count != 1) out.push_back('s');
  return out;
}

std::string bracketTag(std::string_view reason) {
  std::string out = "  [";
  out.append(reason);
  out.push_back(']');
  return out;
}

}  // namespace glimmet
