// Path text taken apart as text: for names in process tables and unit files,
// where the path may not exist here and must never be resolved.
#pragma once

#include <string_view>

namespace glimmet {

/// "node" for "/usr/bin/node" and for "node"; "" for "/usr/bin/".
inline std::string_view lastPathComponent(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace glimmet
