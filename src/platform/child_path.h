// The path of an entry inside a folder, as text: built for every folder a
// walk enters, so it is made in one allocation.
#pragma once

#include <string>
#include <string_view>

namespace glimmet::platform {

/// `name` inside `parent`, with one slash between them.
inline std::string childPath(std::string_view parent, std::string_view name) {
  const bool slash = parent.empty() || parent.back() != '/';
  std::string path;
  path.reserve(parent.size() + slash + name.size());
  path.append(parent);
  if (slash) path.push_back('/');
  path.append(name);
  return path;
}

}  // namespace glimmet::platform
