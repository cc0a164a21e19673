// Paths as the user reads them: the home folder written as "~".
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

/// "~" for the home folder itself, "~/rest" for a path below it, any other path
/// whole. "/home/me2" is not below "/home/me". Used in documents, item ids, logs,
/// the history and scripts, so one path always reads the same.
inline std::string tildePath(std::string_view path, std::string_view home) {
  while (home.size() > 1 && home.back() == '/') home.remove_suffix(1);
  if (home.empty() || home == "/") return std::string(path);
  if (path == home) return "~";
  if (path.size() > home.size() && path.substr(0, home.size()) == home && path[home.size()] == '/')
    return "~" + std::string(path.substr(home.size()));
  return std::string(path);
}

}  // namespace glimmet
