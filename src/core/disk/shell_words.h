// Shell words for the commands shown to a person: plain words stay bare, anything
// else is single-quoted. A slash is not plain, so every path is quoted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/util/shell_quote.h"

namespace glimmet {

inline std::string quoteShellWord(std::string_view text) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@%+=:,.-";
  if (text.empty()) return "''";
  if (text.find_first_not_of(kPlain) == std::string_view::npos) return std::string(text);
  return shellQuote(text);
}

inline std::string joinShellWords(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& word : words) {
    if (!out.empty()) out.push_back(' ');
    out += quoteShellWord(word);
  }
  return out;
}

}  // namespace glimmet
