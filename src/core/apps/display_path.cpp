// The home folder as "~".
#include "core/apps/display_path.h"

namespace glimmet {

std::string displayPath(const std::filesystem::path& path, const std::filesystem::path& home) {
  const auto text = path.string();
  auto prefix = home.lexically_normal().string();
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix.empty() || prefix == "/") return text;
  if (text == prefix) return "~";
  if (text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
      text[prefix.size()] == '/')
    return "~" + text.substr(prefix.size());
  return text;
}

}  // namespace glimmet
