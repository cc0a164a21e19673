// Case folding for names and flags, which are ASCII: locale-independent, so a
// match never depends on the user's LANG.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

inline std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

/// `text` without the ASCII spaces, tabs and line ends around it.
inline std::string_view asciiTrimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\v\f\r";
  const auto start = text.find_first_not_of(kSpace);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(kSpace) - start + 1);
}

}  // namespace glimmet
