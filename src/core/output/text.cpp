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
