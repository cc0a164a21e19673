#include "core/util/utf8.h"

namespace glimmet {

size_t utf8SequenceLength(std::string_view text, size_t& consumed) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  consumed = 1;
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= text.size()) return 0;
    const unsigned char next = byte(i);
    const unsigned char min = i == 1 ? low : 0x80;
    const unsigned char max = i == 1 ? high : 0xBF;
    if (next < min || next > max) return 0;
    consumed = i + 1;
  }
  return length;
}

bool isWellFormedUtf8(std::string_view text) {
  for (size_t i = 0, consumed = 0; i < text.size();) {
    const size_t length = utf8SequenceLength(text.substr(i), consumed);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace glimmet
