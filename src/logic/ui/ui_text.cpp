#include "logic/ui/ui_text.h"

#include <cmath>

namespace glimmet {
namespace {

bool continuationByte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string ageText(double seconds) {
  const auto whole = static_cast<long long>(std::max(0.0, std::floor(seconds)));
  if (whole < 60) return std::to_string(whole) + " s";
  if (whole < 3600) return std::to_string(whole / 60) + " min";
  if (whole < 2 * 86400) return std::to_string(whole / 3600) + " h";
  return std::to_string(whole / 86400) + " days";
}

std::string processCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " process" : " processes");
}

std::size_t screenWidth(std::string_view text) {
  std::size_t width = 0;
  for (const char byte : text)
    if (!continuationByte(byte)) ++width;
  return width;
}

std::string cutToWidth(std::string_view text, std::size_t width) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (continuationByte(text[i])) continue;
    if (columns == width) return std::string(text.substr(0, i));
    ++columns;
  }
  return std::string(text);
}

}  // namespace glimmet
