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

}  // namespace glimmet
