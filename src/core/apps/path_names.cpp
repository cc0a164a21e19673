// Case-free names and lexical containment.
#include "core/apps/path_names.h"

#include <cctype>

namespace glimmet {

std::string lowercase(std::string_view text) {
  std::string lower(text);
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool isSameOrInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const auto p = path.lexically_normal().string();
  auto f = folder.lexically_normal().string();
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  return f.size() > 1 &&
         (p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/'));
}

}  // namespace glimmet
