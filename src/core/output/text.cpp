// Plain-text helpers.
#include "core/output/text.h"

#include "core/util/utf8.h"

namespace glimmet {
namespace {

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// C0, DEL and C1 controls, and the bidirectional overrides and isolates, which
// can make a line read as something other than its bytes.
bool isControl(std::string_view sequence) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(sequence[i]); };
  if (sequence.size() == 1) return byte(0) < 0x20 || byte(0) == 0x7F;
  if (sequence.size() == 2) return byte(0) == 0xC2 && byte(1) <= 0x9F;  // U+0080..U+009F
  if (sequence.size() == 3 && byte(0) == 0xE2) {
    const unsigned code = 0x2000u | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
  }
  return false;
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
  for (size_t i = 0, consumed = 0; i < value.size();) {
    const std::string_view rest = value.substr(i);
    const size_t length = utf8SequenceLength(rest, consumed);
    if (length == 0) {
      out.push_back('?');  // one mark for each maximal ill-formed run
      i += consumed;
      continue;
    }
    const std::string_view sequence = rest.substr(0, length);
    out.append(isControl(sequence) ? std::string_view("?") : sequence);
    i += length;
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

std::string portColumn(std::span<const uint16_t> ports, size_t width) {
  const std::string whole = portList(ports);
  if (whole.size() <= width) return padCut(whole, width);
  // As many whole ports as fit beside "+N" for the rest: a cut ":30" would
  // read as another port.
  for (size_t shown = ports.size() - 1;; --shown) {
    std::string text = portList(ports.first(shown));
    text += (text.empty() ? "+" : " +") + std::to_string(ports.size() - shown);
    if (text.size() <= width || shown == 0) return padCut(text, width);
  }
}

std::string pidText(pid_t pid) {
  return pid > 0 ? std::to_string(pid) : "?";
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
