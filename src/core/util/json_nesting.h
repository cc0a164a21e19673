// How deeply a JSON text nests, told from its bytes before anything is parsed,
// so that a hostile file or message is refused before it can cost a deep
// structure or a deep recursion in whatever walks the parsed value.
#pragma once

#include <cstddef>
#include <string_view>

namespace glimmet {

/// True when brackets in `text` (outside strings) nest deeper than `limit`.
/// Unbalanced or invalid text is left to the parser to refuse.
inline bool jsonNestedDeeperThan(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return true;
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace glimmet
