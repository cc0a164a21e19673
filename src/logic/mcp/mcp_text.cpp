// Note redaction.
#include "logic/mcp/mcp_text.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/util/ascii.h"

namespace glimmet {
namespace {

constexpr std::array<std::string_view, 9> kSecretFlags = {
    "token", "key", "password", "passwd", "secret", "api-key", "apikey", "auth", "access-token"};
constexpr std::size_t kLongToken = 32;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isTokenCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=' || c == '_' || c == '-';
}

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSpace(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !isSpace(text[i])) ++i;
    if (i > start) out.emplace_back(text.substr(start, i - start));
  }
  return out;
}

bool isSecretFlag(std::string_view word) {
  const auto name = word.substr(word.find_first_not_of('-'));
  const auto lowered = asciiLower(name.substr(0, name.find('=')));
  return std::find(kSecretFlags.begin(), kSecretFlags.end(), lowered) != kSecretFlags.end();
}

}  // namespace

std::string MCPText::redact(std::string_view note) {
  auto list = words(note);
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto& word = list[i];
    if (word.front() == '-') {
      if (word.find_first_not_of('-') == std::string::npos || !isSecretFlag(word)) continue;
      if (const auto equals = word.find('='); equals != std::string::npos) {
        word = word.substr(0, equals + 1) + std::string(mask);
      } else if (i + 1 < list.size()) {
        list[++i] = std::string(mask);
      }
      continue;
    }
    if (word.size() >= kLongToken && std::all_of(word.begin(), word.end(), isTokenCharacter))
      word = std::string(mask);
  }
  std::string joined;
  for (const auto& word : list) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

}  // namespace glimmet
