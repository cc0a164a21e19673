// Quoting for the few shell commands the tool shows a person to run.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

/// `text` as one single-quoted shell word. An embedded quote becomes '\'' so a
/// path can never end the word early: these commands may run as root.
inline std::string shellQuote(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out.push_back(c);
  }
  return out + "'";
}

}  // namespace glimmet
