// One CSV field as the application's chart and spreadsheet readers expect it.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

/// `text` as it is, or in double quotes with each quote doubled when it holds a
/// comma, a double quote, a line feed or a carriage return (a bare carriage
/// return would otherwise end the row in some readers).
inline std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace glimmet
